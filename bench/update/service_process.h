// What the catalogue update benchmarks share: verdal-catalogue-service started as a child process
// on a free loopback port, and a pump that handles the messages the merge has posted.
#pragma once

#include "platform/window.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace verdal::bench {

// verdal-catalogue-service with the given number of courses in the given versions, from
// VERDAL_BIN (or bin/ of the current folder); ends the process when it cannot start. Stopped
// with SIGTERM. options go to the service as they are (--fault, --advertise-port).
class ServiceProcess {
public:
    explicit ServiceProcess(int courses, const std::string& versions = "25",
                            const std::vector<std::string>& options = {});
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;
    ~ServiceProcess();

    int Port() const { return port_; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// Handles every message queued for the window so far.
void HandleQueued(Window& window);

} // namespace verdal::bench
