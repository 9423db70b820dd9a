// Opening the start address in a browser window.
#include "app/browser_launch.h"

#include "platform/child_process.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace verdal {
namespace {

std::string FindProgram(const char* name) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = folders.find(':', start);
        const std::string folder =
            folders.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

} // namespace

bool OpenStartAddress(const std::string& address, const std::string& profileDir,
                      std::string& reason) {
    if (!HasDisplay()) {
        reason = "no display found (DISPLAY and WAYLAND_DISPLAY are unset); open the address "
                 "above in a browser";
        return false;
    }
    ChildProcess browser;
    std::string error;
    std::string chromium = FindProgram("chromium");
    if (chromium.empty())
        chromium = FindProgram("chromium-browser");
    if (!chromium.empty()) {
        std::error_code code;
        std::filesystem::create_directories(profileDir, code);
        std::vector<std::string> args = {"--app=" + address, "--window-size=1010,600",
                                         "--user-data-dir=" + profileDir, "--no-first-run",
                                         "--no-default-browser-check"};
        if (::geteuid() == 0)
            args.push_back("--no-sandbox");
        if (browser.Start(chromium, args, {}, error)) {
            browser.Release();
            return true;
        }
    }
    const std::string opener = FindProgram("xdg-open");
    if (!opener.empty() && browser.Start(opener, {address}, {}, error)) {
        browser.Release();
        return true;
    }
    reason = "neither chromium nor xdg-open could be started; open the address above in a browser";
    return false;
}

} // namespace verdal
