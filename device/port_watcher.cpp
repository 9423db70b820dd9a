// The port watcher's thread: a udev monitor when udevd runs, a listing every second always.
#include "device/port_watcher.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
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

// The eventfd that a stop request writes to, closed only once the request can no longer come.
struct WakeFd {
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ~WakeFd() {
        if (fd >= 0)
            ::close(fd);
    }
};

void Watch(std::stop_token stop, const PortSearch& search, const PortWatcher::Handler& handler) {
    const WakeFd wakeFd;
    const int wake = wakeFd.fd;
    std::stop_callback wakeUp(stop, [wake] {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake, &one, sizeof one);
    });
    UdevMonitor monitor;
    while (!stop.stop_requested()) {
        handler(PresentPorts(search));
        pollfd fds[2] = {{wake, POLLIN, 0}, {monitor.Fd(), POLLIN, 0}};
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
