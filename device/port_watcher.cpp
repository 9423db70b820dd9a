// The port watcher's thread: a listing every second, and at once when udevd announces a terminal.
#include "device/port_watcher.h"

#include "platform/tty_monitor.h"

#include <filesystem>
#include <system_error>

namespace verdal {
namespace {

void Watch(std::stop_token stop, const PortSearch& search, const PortWatcher::Handler& handler) {
    TtyMonitor monitor(stop);
    while (!stop.stop_requested()) {
        handler(PresentPorts(search));
        monitor.Wait(kPortListIntervalMs);
    }
}

} // namespace

std::vector<std::string> PresentPorts(const PortSearch& search) {
    std::vector<std::string> present;
    for (std::string& port : EnumSerialPorts(search))
        if (PortPresent(port))
            present.push_back(std::move(port));
    return present;
}

bool PortPresent(const std::string& port) {
    std::error_code error;
    return std::filesystem::exists(port, error);
}

void PortWatcher::Start(Handler handler) {
    worker_.Start([search = CurrentPortSearch(), handler = std::move(handler)](
                      std::stop_token stop) { Watch(stop, search, handler); });
}

void PortWatcher::Stop() {
    worker_.RequestStop();
    worker_.Join();
}

} // namespace verdal
