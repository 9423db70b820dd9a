// How verdal shows its start address: in its own window (verdal-window), in a browser (Chromium
// in app mode with a 1010 x 600 window where it is installed, else the desktop's opener), or not
// at all (the address is only printed). Without a display only the printed address remains.
//
// Threads: user-interface thread.
#pragma once

#include "app/window_program.h"

#include <functional>
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
    // Closes the program's own window.
    void Close() { window_.Close(); }

private:
    bool OpenWindow();
    void OpenBrowser();

    ViewerKind kind_;
    std::string browserProfile_;
    bool automation_;
    std::function<void()> onWindowEnded_;
    std::string address_;
    WindowProgram window_;
};

// True when DISPLAY or WAYLAND_DISPLAY names a display.
bool HasDisplay();

} // namespace verdal
