// udevd's announcements of serial terminals coming and going, for a thread that lists the ports
// again when one comes. A udev monitor of the tty subsystem's "udev" events, those udevd sends
// once it has made the device node; where no udevd runs (containers, the tests) none come, and
// Wait only waits.
//
// Threads: make, use and destroy it on one thread.
#pragma once

#include "platform/event.h"

#include <memory>
#include <stop_token>

namespace verdal {

class TtyMonitor {
public:
    // Wait ends early once a stop is requested through stop.
    explicit TtyMonitor(std::stop_token stop);
    ~TtyMonitor();
    TtyMonitor(const TtyMonitor&) = delete;
    TtyMonitor& operator=(const TtyMonitor&) = delete;

    // Waits up to timeoutMs milliseconds for an announcement or the stop request; true when
    // announcements came (they are all taken: that something changed is all a caller learns).
    bool Wait(unsigned timeoutMs);

private:
    struct Udev;
    const StopFd wake_;
    std::unique_ptr<Udev> udev_;
};

} // namespace verdal
