// The controller of the main page (page 201): the status line, the device info line, the connect
// buttons and the search controls. Its state lives in the page itself; it keeps only the main
// window handle. A missing element makes an operation do nothing.
//
// Threads: user-interface thread only.
#pragma once

#include "platform/window.h"

#include <string>

namespace verdal {

// Ids of the page elements the program reads or writes.
namespace page201 {
inline constexpr char16_t kUpdate[] = u"updategof";
inline constexpr char16_t kCapacity[] = u"cfnumber";
inline constexpr char16_t kSerialNumber[] = u"snnumber";
inline constexpr char16_t kCountry[] = u"country";
inline constexpr char16_t kRegionLabel[] = u"regions";
inline constexpr char16_t kCity[] = u"city";
inline constexpr char16_t kKeyword[] = u"keyword";
inline constexpr char16_t kSearch[] = u"search";
inline constexpr char16_t kMessage[] = u"message";
inline constexpr char16_t kPort[] = u"comport";
inline constexpr char16_t kConnect[] = u"reconnect";
inline constexpr char16_t kDisconnect[] = u"disconnect";
} // namespace page201

// The states of the connect buttons.
enum class ConnectButtons {
    Connecting,   // "Connect" shown but disabled, "Disconnect" hidden, port select disabled
    NotConnected, // "Connect" shown and enabled, "Disconnect" hidden, port select enabled
    Connected,    // "Connect" hidden and disabled, "Disconnect" shown, port select disabled
};

// Whether the search controls and "Course Update" can be used: only with a device connected.
enum class Filters { Enabled, Disabled };

class MainPage {
public:
    void Attach(HWND mainWindow) { hwnd_ = mainWindow; }

    // The status line becomes the text, and its title too (the line shows a text too long for it
    // cut at its end); a null text changes nothing.
    void SetStatusText(const char16_t* text) const;
    // "DEVICE CAPACITY: x/xx" and "S/N:".
    void ResetDeviceInfo() const;
    // "DEVICE CAPACITY: <count>/<capacity>".
    void ShowCapacity(int capacity, int count) const;
    // "S/N: <serial number>".
    void ShowSerialNumber(const std::u16string& serialNumber) const;
    // Shows and enables "Connect", "Disconnect" and the port select as the state says.
    void SetConnectButtons(ConnectButtons state) const;
    // Enables or disables the search controls and "Course Update"; disabling also resets the
    // device info line.
    void SetFilters(Filters state) const;
    // Chooses the port select's option of that port number (none matches: nothing chosen).
    void SetPortSelection(int portNumber) const;

private:
    void SetElementText(const char16_t* id, const std::u16string& text) const;

    HWND hwnd_ = 0;
};

} // namespace verdal
