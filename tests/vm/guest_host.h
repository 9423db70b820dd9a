// What the guest tests of the test machine (tests/vm/machine.sh) share: the host that plugs and
// pulls the adapters, the adapters as udev names them, verdal's page seen over its WebSocket,
// and runs of the programs with their errors.
//
// Threads: the test's thread only.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace verdal::vm {

using Clock = std::chrono::steady_clock;
long long MsSince(Clock::time_point start);

// The host, asked on the machine's second serial port; every answer begins "ok".
namespace host {
// The device simulator started anew (the device pulled out first) with these options beside
// --link and --pace.
void Device(const std::string& options = {});
// Plugs the adapter in or pulls it out: "device" (the simulator's) or "other" (no device).
void Plug(const std::string& adapter);
void Pull(const std::string& adapter);
// How many bytes the other adapter has received from the guest.
long OtherBytes();
} // namespace host

// The adapters' USB serial numbers, as QEMU's usb-serial devices carry them.
inline constexpr const char* kDevice = "VERDAL-DEVICE";
inline constexpr const char* kOther = "VERDAL-OTHER";

// The terminal (/dev/ttyUSBn) of the adapter with that serial number once udev has named it in
// /dev/serial/by-id; empty when it has not within 60 s.
std::string AdapterPort(const char* serial);
// Whether the adapter's name in /dev/serial/by-id is gone within 60 s.
bool AdapterGone(const char* serial);

// A program run to its end, standard output and errors together.
struct Outcome {
    std::vector<std::string> lines;
    int exitCode = -1;
    long long ms = 0;
    bool Says(const std::string& text) const;
    std::string Text() const;
};
// Runs the shell command line.
Outcome Shell(const std::string& command);
// The path of a built program.
std::string Built(const std::string& name);

// verdal with its page, seen as a browser sees it over the WebSocket: the status line's texts
// as they come.
class Page {
public:
    // Connects to the start address that verdal printed.
    explicit Page(const std::string& startAddress);
    ~Page();
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    // Waits up to boundMs for the status line to read text, taking every patch meanwhile: the
    // milliseconds it took, or -1. Each text counts once: the next Until looks at what the status
    // line read after the one this found (from the page as it came, at first).
    long long Until(const std::string& text, int boundMs = 60000);
    // Takes the patches of the next ms milliseconds; false when the status line read text
    // meanwhile.
    bool Never(const std::string& text, int ms);
    // The texts the status line has shown, in order.
    const std::vector<std::string>& Shown() const { return shown_; }
    std::string Status() const { return shown_.empty() ? "" : shown_.back(); }
    // A click on the element of the main page with that id.
    void Click(const std::string& id);
    // A right click on the device list, then the command of its menu.
    void DeviceMenu(unsigned command);

private:
    // Takes one message within boundMs; false when none came.
    bool Take(int boundMs);
    void Send(const std::string& text);
    std::optional<std::string> ReadMessage(int boundMs);

    int fd_ = -1;
    std::string pending_;
    unsigned long long window_ = 0, deviceList_ = 0;
    unsigned message_ = 0;
    std::vector<std::pair<std::string, unsigned>> ids_;
    std::vector<std::string> shown_;
    std::size_t next_ = 0; // the first text of shown_ that Until has not looked at
    unsigned long long menuToken_ = 0;
};

} // namespace verdal::vm
