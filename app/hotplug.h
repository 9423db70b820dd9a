// The device noticed as it comes and goes. The port watcher's listings (kPortsMessage) and the
// serial link's loss (kLinkLostMessage) reach the main window as messages; what they mean is
// judged here:
// - A port that appears (one the last listing lacked, or did not take for the device's) is
//   connected by itself when it is the device's (ConnectsByItself: a Prolific adapter, or the
//   adapter the device last answered on, or the port chosen), and only that port is probed. Any
//   other port is left alone, unopened, and judged again at the next listing, since its adapter
//   may not have been known yet. The ports present at start-up have not appeared.
// - Such a connect is due until it can start: not while a modal dialog is open, nor while a
//   connect or an operation has the link; it starts once they have ended.
// - "Disconnect" asks for no device: no port that appears is connected until the port of the
//   device let go has been unplugged, or "Connect" is pressed.
// - The port of the open link gone from its folder, or failing under the link, is a lost link in
//   every state: the link is closed and the page shows it as a link that does not come up. The
//   port counts as gone from then on, so that the device plugged in again is connected even when
//   the listings never saw it missing.
//
// Threads: the user-interface thread, but for the watcher's thread and the serial receive
// thread, which only post.
#pragma once

#include "device/port_watcher.h"
#include "platform/window.h"
#include "platform/worker.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace verdal {

class Hotplug {
public:
    explicit Hotplug(WorkerOwner& workers) : watcher_(&workers) {}

    // Starts the watcher, and has the serial link report its loss, both to mainWindow.
    void Start(HWND mainWindow);
    // Stops both; nothing is posted after it returns.
    void Stop();

    // A listing of the present ports: each port that appeared and that isDevice takes for the
    // device's becomes due for a connect, unless the user has declined the device.
    void Listed(const std::vector<std::string>& present,
                const std::function<bool(const std::string& port)>& isDevice);
    // The due ports still present, in probe order, taken; empty when none is due.
    std::vector<std::string> TakeDue();
    // "Disconnect" let go of the device on port (nothing is due from then on); "Connect" was
    // pressed.
    void Declined(std::string port);
    void Accepted() { declining_ = false; }
    // The link on port was lost: the port counts as gone.
    void Lost(const std::string& port);

private:
    PortWatcher watcher_;
    std::optional<std::vector<std::string>> present_; // none before the first listing
    std::vector<std::string> due_;
    bool declining_ = false;
    std::string declined_;
};

} // namespace verdal
