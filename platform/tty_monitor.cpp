// The tty monitor on libudev and poll.
#include "platform/tty_monitor.h"

#include <libudev.h>
#include <poll.h>

namespace verdal {

struct TtyMonitor::Udev {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
};

TtyMonitor::TtyMonitor(std::stop_token stop)
    : wake_(std::move(stop)), udev_(std::make_unique<Udev>()) {
    udev_->context = udev_new();
    if (udev_->context)
        udev_->monitor = udev_monitor_new_from_netlink(udev_->context, "udev");
    if (udev_->monitor &&
        (udev_monitor_filter_add_match_subsystem_devtype(udev_->monitor, "tty", nullptr) < 0 ||
         udev_monitor_enable_receiving(udev_->monitor) < 0)) {
        udev_monitor_unref(udev_->monitor);
        udev_->monitor = nullptr;
    }
}

TtyMonitor::~TtyMonitor() {
    if (udev_->monitor)
        udev_monitor_unref(udev_->monitor);
    if (udev_->context)
        udev_unref(udev_->context);
}

bool TtyMonitor::Wait(unsigned timeoutMs) {
    const int monitorFd = udev_->monitor ? udev_monitor_get_fd(udev_->monitor) : -1;
    pollfd fds[2] = {{wake_.Fd(), POLLIN, 0}, {monitorFd, POLLIN, 0}};
    if (::poll(fds, monitorFd >= 0 ? 2 : 1, static_cast<int>(timeoutMs)) <= 0 ||
        !(fds[1].revents & POLLIN))
        return false;
    while (udev_device* device = udev_monitor_receive_device(udev_->monitor))
        udev_device_unref(device);
    return true;
}

} // namespace verdal
