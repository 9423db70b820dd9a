// The demo: a simulated device with room for 20 courses holding three (one under an "@" name) and
// a sample catalogue service of 2,000 courses in a version newer than the program's first, so
// that a new user can try every road of the program without a device.
#pragma once

#include "platform/child_process.h"

#include <string>

namespace verdal {

class Demo {
public:
    // The demo's data folder: dataDir when given, else $XDG_DATA_HOME/verdal-demo or
    // ~/.local/share/verdal-demo.
    static std::string DataFolder(const std::string& dataDir);

    // Starts verdal-devsim and verdal-catalogue-service from the folder of this program, or from
    // ../lib/verdal beside it as installed, the device's store refilled with the three courses;
    // unplugged, the device waits to be plugged in (SIGUSR1 to DevicePid). False with a message
    // when either does not come up within 10 s.
    bool Start(const std::string& dataFolder, bool unplugged, std::string& error);
    // Stops both programs.
    void Stop();

    // The link to the simulated device's terminal, there while the device is plugged in.
    const std::string& DevicePort() const { return devicePort_; }
    pid_t DevicePid() const { return device_.Pid(); }
    // "http://127.0.0.1:PORT/".
    const std::string& ServerUrl() const { return serverUrl_; }

private:
    ChildProcess device_, service_;
    std::string devicePort_, serverUrl_;
};

} // namespace verdal
