// The port watcher's thread: a udev monitor when udevd runs, a listing every second always.
#include "device/port_watcher.h"

#include "platform/event.h"

#include <libudev.h>
#include <poll.h>

#include <filesystem>
#include <system_error>

namespace verdal {
namespace {

// The "udev" events of the tty subsystem: those udevd sends once it has made the device node.
class UdevMonitor {
public:
    UdevMonitor() {
        udev_ = udev_new();
        if (udev_)
            monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (monitor_ &&
            (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
             udev_monitor_enable_receiving(monitor_) < 0)) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
    }
    ~UdevMonitor() {
        if (monitor_)
            udev_monitor_unref(monitor_);
        if (udev_)
            udev_unref(udev_);
    }
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    // The descriptor to wait on; -1 without a monitor.
    int Fd() const { return monitor_ ? udev_monitor_get_fd(monitor_) : -1; }
    // Takes the events waiting: that something changed is all the watcher needs.
    void Drain() {
        while (udev_device* device = udev_monitor_receive_device(monitor_))
            udev_device_unref(device);
    }

private:
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
};

void Watch(std::stop_token stop, const PortSearch& search, const PortWatcher::Handler& handler) {
    const StopFd wake(stop);
    UdevMonitor monitor;
    while (!stop.stop_requested()) {
        handler(PresentPorts(search));
        pollfd fds[2] = {{wake.Fd(), POLLIN, 0}, {monitor.Fd(), POLLIN, 0}};
        if (::poll(fds, monitor.Fd() >= 0 ? 2 : 1, kPortListIntervalMs) > 0 &&
            (fds[1].revents & POLLIN))
            monitor.Drain();
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
