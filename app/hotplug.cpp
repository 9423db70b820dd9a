// Judging the port listings: which port appeared, and whether the user has declined the device.
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

bool Hotplug::Appeared(const std::vector<std::string>& present) {
    bool appeared = false;
    if (present_)
        for (const std::string& port : present)
            appeared = appeared || !Contains(*present_, port);
    present_ = present;
    // The device let go has been unplugged: the next port that appears is a device plugged in.
    if (declining_ && !Contains(present, declined_))
        declining_ = false;
    return appeared && !declining_;
}

void Hotplug::Lost(const std::string& port) {
    if (present_)
        std::erase(*present_, port);
}

void Hotplug::Declined(std::string port) {
    declining_ = true;
    declined_ = std::move(port);
}

} // namespace verdal
