// The window system: integer window handles, one message queue read by the user-interface
// thread, posted and sent messages, the message loop and modal dialogs.
//
// Threads. The user-interface thread is the one that runs the message loop (the first to call
// CreateWindowFor, GetMessage or BindUiThread). Windows are created and destroyed on it and
// their handlers run on it. PostMessage, SendMessage, EndDialog, IsWindow and GetParent may be
// called from any thread. Handles are never reused, so a message meant for a destroyed window
// can never reach another one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace verdal {

using HWND = std::int64_t; // 0 is no window
using UINT = std::uint32_t;
using WPARAM = std::uint64_t;
using LPARAM = std::int64_t;
using LRESULT = std::int64_t;

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_NOTIFY = 0x004E;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_USER = 0x0400;

// The header of a WM_NOTIFY message; lParam holds its address.
struct NMHDR {
    HWND hwndFrom = 0;
    std::uintptr_t idFrom = 0;
    int code = 0;
};
inline constexpr int NM_RCLICK = -5;

inline constexpr WPARAM MAKEWPARAM(unsigned low, unsigned high) {
    return (static_cast<WPARAM>(high & 0xFFFF) << 16) | (low & 0xFFFF);
}
inline constexpr unsigned LOWORD(WPARAM value) {
    return static_cast<unsigned>(value & 0xFFFF);
}
inline constexpr unsigned HIWORD(WPARAM value) {
    return static_cast<unsigned>((value >> 16) & 0xFFFF);
}

struct MSG {
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    // Data the message owns (see PostMessageWith); released after the message is handled or
    // dropped.
    std::shared_ptr<void> attachment;
};

// A window: an object with a message map. The object must outlive its window; destroying the
// object of a live window unregisters the window without sending it any message.
class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Handle() const { return hwnd_; }

    // The message map. Returns true when the message was handled, with its answer in result;
    // an unhandled message gets the default answer 0.
    virtual bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) = 0;

    // Runs after the window and its descendants got WM_DESTROY and their handles died.
    virtual void OnFinalMessage(HWND) {}

private:
    friend struct WindowAccess;
    HWND hwnd_ = 0;
};

// Makes the calling thread the user-interface thread.
void BindUiThread();
bool IsUiThread();

// Registers the window under a new handle with the given parent (or owner; 0 for none) and
// sends it WM_CREATE with lParam createParam. Answers the handle, or 0 when the window is
// already alive or WM_CREATE answered -1 (the window is then destroyed again).
HWND CreateWindowFor(Window& window, HWND parent, LPARAM createParam = 0);

// Sends WM_DESTROY to the window and then to each of its descendants, unregisters them all and
// runs their OnFinalMessage. Messages still queued for them stay in the queue until they are
// dispatched, and are dropped then (their data freed). False when the handle is not a live
// window. User-interface thread only.
bool DestroyWindow(HWND hwnd);

bool IsWindow(HWND hwnd);
HWND GetParent(HWND hwnd);
// A child window's control id (0 until one is set), and the live child of a parent with an id
// (the oldest when several share it; 0 when none has it).
void SetDlgCtrlID(HWND control, int id);
int GetDlgCtrlID(HWND control);
HWND GetDlgItem(HWND parent, int id);
// The window object of a live handle, else nullptr. User-interface thread only.
Window* WindowFromHandle(HWND hwnd);

// Queues a message for the window. False, and nothing queued, when the window is not alive;
// a message whose window is gone by the time it is dispatched is dropped.
bool PostMessage(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Posts a message that owns its data: lParam is the address of *data, valid while the handler
// runs; the data is freed after the message has been handled, or when it is dropped.
template <class T>
bool PostMessageWith(HWND hwnd, UINT message, WPARAM wParam, std::unique_ptr<T> data);

// Calls the window's handler and answers its result (0 when the window is not alive). From the
// user-interface thread the handler runs at once; from another thread the call waits until the
// user-interface thread has handled the message in its message loop.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Waits for the next posted message, handling sent ones meanwhile. False when it is WM_QUIT.
bool GetMessage(MSG& msg);
// Hands the message to its window's handler; a message for a dead window is dropped (answer 0).
LRESULT DispatchMessage(const MSG& msg);
// Queues WM_QUIT with the exit code, ending the message loop when it gets there.
void PostQuitMessage(int exitCode);
// Runs GetMessage and DispatchMessage until WM_QUIT; answers the exit code.
int RunMessageLoop();

// Runs a modal dialog: creates the dialog window with the owner, sends it WM_INITDIALOG
// (lParam initParam), then runs a nested message loop until EndDialog is called for it; the
// dialog window is destroyed and EndDialog's value answered. Answers -1 when the window cannot
// be created, or when the dialog dies or WM_QUIT arrives without EndDialog (WM_QUIT is then
// queued again for the outer loop).
std::intptr_t DialogBox(Window& dialog, HWND owner, LPARAM initParam = 0);

// Whether a modal dialog (DialogBox) is running. Any thread.
bool ModalDialogOpen();

// Ends a modal dialog with a result; any thread. False when the handle is not a running dialog.
bool EndDialog(HWND dialog, std::intptr_t result);

// A function run on the user-interface thread after every dispatched message, for instance to
// send the changes the handler made. One at a time; an empty function removes it.
void SetAfterDispatch(std::function<void()> hook);

// Implementation detail of PostMessageWith.
bool PostMessageOwning(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                       std::shared_ptr<void> attachment);

template <class T>
bool PostMessageWith(HWND hwnd, UINT message, WPARAM wParam, std::unique_ptr<T> data) {
    std::shared_ptr<T> owned(std::move(data));
    const auto lParam = static_cast<LPARAM>(reinterpret_cast<std::intptr_t>(owned.get()));
    return PostMessageOwning(hwnd, message, wParam, lParam, std::move(owned));
}

} // namespace verdal
