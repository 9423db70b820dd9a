// The values that outlive a run of the program, kept in settings.reg in the data folder.
//
// The file has the layout of a registry export of the key "SOFTWARE\verdalV021":
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\verdalV021]
//   "update version"=dword:00000018
//   "com index"=dword:00000063
//   "sn"="..."
//   "server"="http://127.0.0.1:8650/"
//   "adapter"="usb 0403:6001 serial A50285BI"
//
// in UTF-8, with "\\" and "\"" escaping a backslash and a quote inside a text and "\x" with two
// hexadecimal digits a control character (so a line break never splits a value's line). It is
// replaced whole and atomically (a temporary file, flushed, then renamed over the old one), so a
// crash never leaves half a file.
//
// Threads: the user-interface thread and the workers share the one Settings object. Once more
// than one thread runs, read it with CopySettings and change it with ChangeSettings, which hold
// the settings lock only while copying or changing values; AppSettings gives the object itself
// and is for start-up and tests, before any worker runs. LoadSettings and SaveSettings take the
// lock themselves and may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace verdal {

// The web service's built-in base address, where the catalogue service listens by default.
inline constexpr const char* kDefaultServer = "http://127.0.0.1:8650/";

struct Settings {
    // Catalogue version merged into the course table so far ("update version", dword).
    std::uint32_t updateVersion = 1;
    // Serial port to use: 99 searches automatically, any other N is /dev/ttyUSB<N>
    // ("com index", dword).
    std::int32_t comIndex = 99;
    // Serial number of the device last connected ("sn", text, below 64 units).
    std::u16string serialNumber;
    // Base address of the web service for the catalogue update ("server", text).
    std::string server = kDefaultServer;
    // The USB adapter on which the device last answered, as AdapterOf names it ("adapter",
    // text; written once known): an adapter that appears is connected by itself when it is this
    // one.
    std::string adapter;
};

// The process-wide settings, made on first use and kept until the process exits.
Settings& AppSettings();
// A copy of the settings, taken under the settings lock.
Settings CopySettings();
// Runs change on the settings under the settings lock. change must not call the other settings
// functions. Persist the result with SaveSettings.
void ChangeSettings(const std::function<void(Settings&)>& change);

// Loads settings.reg: "update version" 24, "com index" 99, an empty "sn" and the built-in
// "server" unless the file holds other values. A missing file is written with these defaults.
// A damaged file is kept beside as settings.reg.bad, the defaults are loaded and written, and a
// line on standard error says so. An "sn" of 64 units or more loads as empty. Reports nothing
// else; call once at start-up, before the course database is opened.
void LoadSettings();
// Reads the text of a settings.reg into settings, which hold the values a missing one has
// (updateVersion 24, comIndex 99, an empty serialNumber and the built-in server). False, with
// the reason, for a damaged text: a line that is neither blank, a comment, the header, a key
// line nor a well-formed value, a value before any key, or no line of the program's key.
// Values of other keys, unknown names and known names of the wrong type are passed over, as the
// registry would. Any thread.
bool ParseSettingsText(std::string_view text, Settings& settings, std::string& reason);

// The text of settings.reg for the settings, as SaveSettings writes it. Any thread.
std::string FormatSettingsText(const Settings& settings);

// Writes every value to settings.reg. A failure leaves the old file whole and is reported by a
// line on standard error only; the values stay in memory.
void SaveSettings();

} // namespace verdal
