// Noticing a device plugged in or pulled out while the program runs. The watcher's thread lists
// the present ports every second, and at once when udevd announces a terminal coming or going
// (a udev monitor of the tty subsystem; where no udevd runs, as in containers and the tests, the
// listing alone finds them). Every listing goes to the handler, which judges what changed and
// what that means for the link.
//
// Threads: Start and Stop on the thread that owns the watcher (the user-interface thread in the
// application); the handler runs on the watcher's thread and should only post.
#pragma once

#include "device/port_discovery.h"
#include "platform/worker.h"

#include <functional>
#include <string>
#include <vector>

namespace verdal {

// How often the ports are listed without a udev event.
inline constexpr unsigned kPortListIntervalMs = 1000;

// The candidate ports of the search (EnumSerialPorts) that are there now, in probe order: a
// port whose device node, or the link standing for it, is gone is not.
std::vector<std::string> PresentPorts(const PortSearch& search);
// Whether the port's device node (or the link standing for it) is there.
bool PortPresent(const std::string& port);

class PortWatcher {
public:
    using Handler = std::function<void(std::vector<std::string> present)>;

    // The watcher's thread is registered with owner while it runs, when one is given.
    explicit PortWatcher(WorkerOwner* owner = nullptr) : worker_(owner) {}

    // Starts watching the ports of the current search (CurrentPortSearch, as it is now).
    void Start(Handler handler);
    // Ends the watching and joins the thread; the handler is not called after it returns.
    void Stop();

private:
    Worker worker_;
};

} // namespace verdal
