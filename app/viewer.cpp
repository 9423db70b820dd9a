// Showing the start address: the program's own window, or a browser.
#include "app/viewer.h"

#include "engine/dom.h"
#include "platform/child_process.h"
#include "platform/data_dir.h"
#include "platform/file.h"
#include "platform/language.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace verdal {
namespace {

// Where the launcher goes: the session's runtime folder (a tmpfs of this user's, emptied at
// logout), else the data folder.
std::string LauncherFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        struct stat info {};
        if (::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid())
            return runtime;
    }
    return DataDir();
}

// A browser that runs in a sandbox reads no file outside its own folders: a snap, or a flatpak.
bool Sandboxed(const std::string& program) {
    std::error_code error;
    const std::string real = std::filesystem::canonical(program, error).string();
    return !error && (real.rfind("/snap/", 0) == 0 || real.rfind("/var/lib/flatpak/", 0) == 0);
}

// The desktop's browser, as xdg-open starts it, is a snap's or a flatpak's: the desktop entry of
// a snap is named "SNAP_APP.desktop", a flatpak's stands in flatpak's exports.
bool DesktopBrowserSandboxed() {
    const std::string settings = FindProgram("xdg-settings");
    ChildProcess query;
    std::string entry, error;
    if (settings.empty() ||
        !query.Start(settings, {"get", "default-web-browser"}, {.captureOutput = true}, error) ||
        !query.ReadLine(entry, 2000) || entry.empty() || entry.find('/') != std::string::npos)
        return false;
    query.Stop();
    if (entry.find('_') != std::string::npos)
        return true;
    const char* home = std::getenv("HOME");
    std::error_code missing;
    for (const std::string& folder : {std::string("/var/lib/flatpak/exports/share/applications/"),
                                      std::string(home ? home : "/nonexistent") +
                                          "/.local/share/flatpak/exports/share/applications/"})
        if (std::filesystem::exists(folder + entry, missing))
            return true;
    return false;
}

} // namespace

std::string LauncherPage(const std::string& address) {
    const std::string attribute = engine::AttributeText(address);
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"refresh\" content=\"0;url=" +
           attribute +
           "\">\n<title>Verdal2012</title></head>\n"
           "<body><a href=\"" +
           attribute + "\">Verdal2012</a></body></html>\n";
}

std::string Viewer::LauncherAddress() {
    if (launcher_.empty()) {
        const std::string path =
            LauncherFolder() + "/verdal-" + std::to_string(::getpid()) + ".html";
        // Made anew, by this process, for this user alone.
        ::unlink(path.c_str());
        if (ReplaceFile(path, LauncherPage(address_), 0600)) {
            std::fputs(Tr("verdal: the launcher file cannot be written; the browser is given the "
                          "address itself\n"),
                       stderr);
            return address_;
        }
        launcher_ = path;
    }
    return "file://" + launcher_;
}

// Chromium in app mode with its own profile, else xdg-open; false when neither starts.
bool Viewer::StartBrowser() {
    std::string error;
    std::string chromium = FindProgram("chromium");
    if (chromium.empty())
        chromium = FindProgram("chromium-browser");
    // Chromium processes that have ended are reaped.
    browsers_.remove_if([](ChildProcess& browser) {
        if (browser.Running())
            return false;
        browser.Stop();
        return true;
    });
    if (!chromium.empty()) {
        std::error_code code;
        std::filesystem::create_directories(browserProfile_, code);
        const std::string address = Sandboxed(chromium) ? address_ : LauncherAddress();
        std::vector<std::string> args = {"--app=" + address, "--window-size=1010,600",
                                         "--user-data-dir=" + browserProfile_, "--no-first-run",
                                         "--no-default-browser-check"};
        if (RunningAsRoot())
            args.push_back("--no-sandbox");
        // Started on the user-interface thread, which lives as long as verdal: the kernel ends
        // Chromium with verdal, as it ends the window.
        if (browsers_.emplace_back().Start(chromium, args, {.stopWithParent = true}, error))
            return true;
        browsers_.pop_back();
    }
    const std::string opener = FindProgram("xdg-open");
    ChildProcess browser;
    if (!opener.empty() &&
        browser.Start(opener, {DesktopBrowserSandboxed() ? address_ : LauncherAddress()}, {},
                      error)) {
        browser.Release();
        return true;
    }
    return false;
}

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

void Viewer::Close() {
    window_.Close();
    for (ChildProcess& browser : browsers_)
        browser.Stop();
    browsers_.clear();
    if (!launcher_.empty())
        ::unlink(launcher_.c_str());
    launcher_.clear();
}

void Viewer::OpenBrowser() {
    if (!StartBrowser())
        std::fputs(Tr("verdal: neither chromium nor xdg-open could be started; open the address "
                      "above in a browser\n"),
                   stderr);
}

} // namespace verdal
