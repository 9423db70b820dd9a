// The program's own window: verdal-window, a GTK and WebKitGTK program that shows the start
// address, which it reads on its standard input. verdal starts it, watches it from a worker, and
// ends when it ends; it is ended with verdal (SIGTERM from Close, or from the kernel when verdal
// dies).
//
// Threads: Open, Present, Close and IsOpen on the user-interface thread. The callback given to
// Open runs on the watcher's thread.
#pragma once

#include "platform/child_process.h"
#include "platform/worker.h"

#include <functional>
#include <string>

namespace verdal {

class WindowProgram {
public:
    WindowProgram() = default;
    WindowProgram(const WindowProgram&) = delete;
    WindowProgram& operator=(const WindowProgram&) = delete;
    ~WindowProgram() { Close(); }

    // Starts the window program on the address and waits up to 30 s for its window to be on
    // screen. From then on, onEnded runs once when the program ends by itself: the user closed
    // the window, or its process died. False with a reason when no window could be made; the
    // callback then never runs. With automation the window lets WebKitWebDriver drive it.
    bool Open(const std::string& address, bool automation, std::function<void()> onEnded,
              std::string& reason);
    bool IsOpen() const { return process_.Pid() > 0; }
    // Brings the window to the front.
    void Present();
    // Closes the window and waits for its program to end; the callback does not run.
    void Close();

private:
    ChildProcess process_;
    Worker watcher_;
};

// Shows the text in a message window of verdal-window's, which lives on by itself until the user
// closes it; nothing when that program cannot start.
void ShowMessageWindow(const std::string& text);

} // namespace verdal
