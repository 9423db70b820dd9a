// Judging the port listings: which port appeared, whether it is the device's, and whether the
// user has declined the device.
#include "app/hotplug.h"

#include "app/main_messages.h"
#include "device/serial.h"

#include <algorithm>
#include <memory>

namespace verdal {
namespace {

bool Contains(const std::vector<std::string>& ports, const std::string& port) {
    return std::find(ports.begin(), ports.end(), port) != ports.end();
}

} // namespace

void Hotplug::Start(HWND mainWindow) {
    Serial::Instance().SetLostHandler([mainWindow] { PostMessage(mainWindow, kLinkLostMessage); });
    watcher_.Start([mainWindow](std::vector<std::string> present) {
        PostMessageWith(mainWindow, kPortsMessage, 0,
                        std::make_unique<std::vector<std::string>>(std::move(present)));
    });
}

void Hotplug::Stop() {
    watcher_.Stop();
    Serial::Instance().SetLostHandler({});
}

void Hotplug::Listed(const std::vector<std::string>& present,
                     const std::function<bool(const std::string& port)>& isDevice) {
    // The device let go has been unplugged: the next port that appears is a device plugged in.
    if (declining_ && !Contains(present, declined_))
        declining_ = false;
    if (!present_) {
        present_ = present;
        return;
    }
    // A port that is not the device's is judged again at the next listing: it may have been
    // listed before its adapter was known, or in a listing taken before its link was lost.
    std::vector<std::string> judged;
    for (const std::string& port : present) {
        if (Contains(*present_, port) || declining_) {
            judged.push_back(port);
        } else if (isDevice(port)) {
            if (!Contains(due_, port))
                due_.push_back(port);
            judged.push_back(port);
        }
    }
    present_ = std::move(judged);
}

std::vector<std::string> Hotplug::TakeDue() {
    std::vector<std::string> ports;
    if (present_)
        for (const std::string& port : *present_)
            if (Contains(due_, port))
                ports.push_back(port);
    due_.clear();
    return ports;
}

void Hotplug::Lost(const std::string& port) {
    if (present_)
        std::erase(*present_, port);
}

void Hotplug::Declined(std::string port) {
    declining_ = true;
    declined_ = std::move(port);
    due_.clear();
}

} // namespace verdal
