// How verdal shows its start address: in its own window (verdal-window), in a browser (Chromium
// in app mode with a 1010 x 600 window where it is installed, else the desktop's opener), or not
// at all (the address is only printed). Without a display only the printed address remains.
//
// The address carries the window server's token, and every user of the machine can read a
// process's arguments: the window reads it on its standard input, and a browser is given a
// launcher, a file readable by this user alone that sends it on to the address. Only a browser in
// a sandbox (a snap or a flatpak), which cannot read that file, is given the address itself.
//
// Threads: user-interface thread.
#pragma once

#include "app/window_program.h"

#include <functional>
#include <list>
#include <string>

namespace verdal {

enum class ViewerKind {
    Window,  // the program's own window; the browser when the window cannot be made
    Browser, // a browser window or tab
    None,    // nothing opened
};

class Viewer {
public:
    // onWindowEnded runs on a worker thread once the program's own window has ended by itself.
    // browserProfile is Chromium's profile folder for this program; automation lets
    // WebKitWebDriver drive the window.
    Viewer(ViewerKind kind, std::string browserProfile, bool automation,
           std::function<void()> onWindowEnded);

    // Opens the address as the kind says. A window that cannot be made gives the browser
    // instead, with one line on standard error; no display, or no way to open the address, is
    // said on standard error too.
    void Open(const std::string& address);
    // A later start asked to see the program: the window comes to the front, or a window (of the
    // program's own, or the browser's when that is the kind) opens again.
    void Show();
    // True while the program's own window shows the address.
    bool WindowOpen() const { return window_.IsOpen(); }
    // Closes the program's own window, or the Chromium windows it started, and removes the
    // launcher.
    void Close();
    ~Viewer() { Close(); }

    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

private:
    bool OpenWindow();
    void OpenBrowser();
    // The launcher's address ("file://..."), written on first use; the address itself when it
    // cannot be written.
    std::string LauncherAddress();
    bool StartBrowser();

    ViewerKind kind_;
    std::string browserProfile_;
    bool automation_;
    std::function<void()> onWindowEnded_;
    std::string address_;
    std::string launcher_; // the launcher's path, once written
    WindowProgram window_;
    std::list<ChildProcess> browsers_; // the Chromium processes started, ended with verdal
};

// The text of a launcher file: a page that sends the browser on to the address at once.
std::string LauncherPage(const std::string& address);

// True when DISPLAY or WAYLAND_DISPLAY names a display.
bool HasDisplay();

} // namespace verdal
