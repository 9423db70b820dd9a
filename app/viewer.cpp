// Showing the start address: the program's own window, or a browser.
#include "app/viewer.h"

#include "platform/child_process.h"
#include "platform/language.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace verdal {
namespace {

// Chromium in app mode with its own profile, else xdg-open; false when neither starts.
bool StartBrowser(const std::string& address, const std::string& profileDir) {
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
        if (RunningAsRoot())
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
    return false;
}

} // namespace

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

Viewer::Viewer(ViewerKind kind, std::string browserProfile, bool automation,
               std::function<void()> onWindowEnded)
    : kind_(kind), browserProfile_(std::move(browserProfile)), automation_(automation),
      onWindowEnded_(std::move(onWindowEnded)) {}

void Viewer::Open(const std::string& address) {
    address_ = address;
    if (kind_ == ViewerKind::None)
        return;
    if (!HasDisplay()) {
        std::fputs(Tr("verdal: no display found (DISPLAY and WAYLAND_DISPLAY are unset); open "
                      "the address above in a browser\n"),
                   stderr);
        return;
    }
    if (kind_ == ViewerKind::Window && OpenWindow())
        return;
    OpenBrowser();
}

void Viewer::Show() {
    if (window_.IsOpen()) {
        window_.Present();
        return;
    }
    if (address_.empty() || !HasDisplay())
        return;
    if (kind_ == ViewerKind::Browser || !OpenWindow())
        OpenBrowser();
}

bool Viewer::OpenWindow() {
    std::string reason;
    if (window_.Open(address_, automation_, onWindowEnded_, reason))
        return true;
    std::fputs(Format(Tr("verdal: the window cannot be made (%s); opening a browser instead\n"),
                      reason.c_str())
                   .c_str(),
               stderr);
    return false;
}

void Viewer::OpenBrowser() {
    if (!StartBrowser(address_, browserProfile_))
        std::fputs(Tr("verdal: neither chromium nor xdg-open could be started; open the address "
                      "above in a browser\n"),
                   stderr);
}

} // namespace verdal
