// One process-wide message queue and window registry, read by the user-interface thread.
#include "platform/window.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace verdal {

struct WindowAccess {
    static void SetHandle(Window& window, HWND hwnd) { window.hwnd_ = hwnd; }
};

namespace {

struct WindowRecord {
    Window* window = nullptr;
    HWND parent = 0;
    int controlId = 0;
};

struct DialogState {
    bool ended = false;
    std::intptr_t result = 0;
};

// A sent message waiting for the user-interface thread.
struct SentMessage {
    MSG msg;
    std::promise<LRESULT> answer;
};

struct System {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::unordered_map<HWND, WindowRecord> windows;
    std::unordered_map<HWND, DialogState> dialogs;
    HWND nextHandle = 0x10000;
    std::thread::id uiThread;
    bool uiBound = false;
    std::function<void()> afterDispatch;
};

System& Sys() {
    // Every worker ends before the program does (platform/worker.h), so the system goes with the
    // other statics.
    static System system;
    return system;
}

void BindIfUnbound() {
    System& s = Sys();
    std::lock_guard lock(s.mutex);
    if (!s.uiBound) {
        s.uiThread = std::this_thread::get_id();
        s.uiBound = true;
    }
}

LRESULT CallHandler(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = WindowFromHandle(hwnd);
    if (!window)
        return 0;
    LRESULT result = 0;
    if (!window->ProcessWindowMessage(hwnd, message, wParam, lParam, result))
        result = 0;
    return result;
}

void CollectDescendants(System& s, HWND hwnd, std::vector<HWND>& out) {
    for (const auto& [handle, record] : s.windows) {
        if (record.parent == hwnd) {
            out.push_back(handle);
            CollectDescendants(s, handle, out);
        }
    }
}

} // namespace

Window::~Window() {
    if (hwnd_ == 0)
        return;
    System& s = Sys();
    std::lock_guard lock(s.mutex);
    s.windows.erase(hwnd_);
    s.dialogs.erase(hwnd_);
}

void BindUiThread() {
    System& s = Sys();
    std::lock_guard lock(s.mutex);
    s.uiThread = std::this_thread::get_id();
    s.uiBound = true;
}

bool IsUiThread() {
    System& s = Sys();
    std::lock_guard lock(s.mutex);
    return s.uiBound && s.uiThread == std::this_thread::get_id();
}

HWND CreateWindowFor(Window& window, HWND parent, LPARAM createParam) {
    BindIfUnbound();
    System& s = Sys();
    HWND hwnd;
    {
        std::lock_guard lock(s.mutex);
        if (window.Handle() != 0 && s.windows.count(window.Handle()))
            return 0;
        hwnd = s.nextHandle++;
        s.windows[hwnd] = WindowRecord{&window, parent};
    }
    WindowAccess::SetHandle(window, hwnd);
    if (CallHandler(hwnd, WM_CREATE, 0, createParam) == -1) {
        DestroyWindow(hwnd);
        return 0;
    }
    return IsWindow(hwnd) ? hwnd : 0;
}

bool DestroyWindow(HWND hwnd) {
    System& s = Sys();
    std::vector<HWND> doomed{hwnd};
    {
        std::lock_guard lock(s.mutex);
        if (!s.windows.count(hwnd))
            return false;
        CollectDescendants(s, hwnd, doomed);
    }
    // Each window hears of its end while it and its children still exist, parent first.
    for (HWND h : doomed)
        CallHandler(h, WM_DESTROY, 0, 0);
    std::vector<Window*> finals;
    {
        std::lock_guard lock(s.mutex);
        for (HWND h : doomed) {
            auto it = s.windows.find(h);
            if (it == s.windows.end())
                continue;
            finals.push_back(it->second.window);
            s.windows.erase(it);
            s.dialogs.erase(h);
        }
    }
    for (Window* window : finals) {
        const HWND old = window->Handle();
        WindowAccess::SetHandle(*window, 0);
        window->OnFinalMessage(old);
    }
    return true;
}

bool IsWindow(HWND hwnd) {
    System& s = Sys();
    std::lock_guard lock(s.mutex);
    return s.windows.count(hwnd) != 0;
}

namespace {

// A copy of the window's record; an empty one for a handle that is no live window.
WindowRecord RecordOf(HWND hwnd) {
    System& s = Sys();
    std::lock_guard lock(s.mutex);
    auto it = s.windows.find(hwnd);
    return it == s.windows.end() ? WindowRecord{} : it->second;
}

} // namespace

HWND GetParent(HWND hwnd) {
    return RecordOf(hwnd).parent;
}

void SetDlgCtrlID(HWND control, int id) {
    System& s = Sys();
    std::lock_guard lock(s.mutex);
    auto it = s.windows.find(control);
    if (it != s.windows.end())
        it->second.controlId = id;
}

int GetDlgCtrlID(HWND control) {
    return RecordOf(control).controlId;
}

HWND GetDlgItem(HWND parent, int id) {
    System& s = Sys();
    std::lock_guard lock(s.mutex);
    HWND found = 0;
    for (const auto& [hwnd, record] : s.windows)
        if (record.parent == parent && record.controlId == id && (found == 0 || hwnd < found))
            found = hwnd;
    return found;
}

Window* WindowFromHandle(HWND hwnd) {
    return RecordOf(hwnd).window;
}

bool PostMessageOwning(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                       std::shared_ptr<void> attachment) {
    System& s = Sys();
    {
        std::lock_guard lock(s.mutex);
        if (!s.windows.count(hwnd))
            return false;
        s.posted.push_back(MSG{hwnd, message, wParam, lParam, std::move(attachment)});
    }
    s.arrived.notify_all();
    return true;
}

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageOwning(hwnd, message, wParam, lParam, nullptr);
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsUiThread())
        return CallHandler(hwnd, message, wParam, lParam);
    System& s = Sys();
    auto sent = std::make_shared<SentMessage>();
    sent->msg = MSG{hwnd, message, wParam, lParam, nullptr};
    auto answer = sent->answer.get_future();
    {
        std::lock_guard lock(s.mutex);
        if (!s.windows.count(hwnd))
            return 0;
        s.sent.push_back(std::move(sent));
    }
    s.arrived.notify_all();
    return answer.get();
}

bool GetMessage(MSG& msg) {
    BindIfUnbound();
    System& s = Sys();
    for (;;) {
        std::shared_ptr<SentMessage> sent;
        {
            std::unique_lock lock(s.mutex);
            s.arrived.wait(lock, [&] { return !s.sent.empty() || !s.posted.empty(); });
            if (!s.sent.empty()) {
                sent = std::move(s.sent.front());
                s.sent.pop_front();
            } else {
                msg = std::move(s.posted.front());
                s.posted.pop_front();
                return msg.message != WM_QUIT;
            }
        }
        // Sent messages are handled inside the wait, before any posted one, as the sender blocks.
        try {
            sent->answer.set_value(
                CallHandler(sent->msg.hwnd, sent->msg.message, sent->msg.wParam, sent->msg.lParam));
        } catch (...) {
            sent->answer.set_exception(std::current_exception());
        }
    }
}

LRESULT DispatchMessage(const MSG& msg) {
    const LRESULT result = CallHandler(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    std::function<void()> hook;
    {
        System& s = Sys();
        std::lock_guard lock(s.mutex);
        hook = s.afterDispatch;
    }
    if (hook)
        hook();
    return result;
}

void PostQuitMessage(int exitCode) {
    System& s = Sys();
    {
        std::lock_guard lock(s.mutex);
        s.posted.push_back(MSG{0, WM_QUIT, static_cast<WPARAM>(exitCode), 0, nullptr});
    }
    s.arrived.notify_all();
}

int RunMessageLoop() {
    MSG msg;
    while (GetMessage(msg))
        DispatchMessage(msg);
    return static_cast<int>(msg.wParam);
}

bool ModalDialogOpen() {
    System& s = Sys();
    std::lock_guard lock(s.mutex);
    return !s.dialogs.empty();
}

std::intptr_t DialogBox(Window& dialog, HWND owner, LPARAM initParam) {
    System& s = Sys();
    const HWND hwnd = CreateWindowFor(dialog, owner);
    if (hwnd == 0)
        return -1;
    {
        std::lock_guard lock(s.mutex);
        s.dialogs[hwnd] = DialogState{};
    }
    CallHandler(hwnd, WM_INITDIALOG, 0, initParam);

    auto ended = [&](std::intptr_t& result) {
        std::lock_guard lock(s.mutex);
        auto it = s.dialogs.find(hwnd);
        if (it == s.dialogs.end()) {
            result = -1; // the dialog died with its owner
            return true;
        }
        result = it->second.result;
        return it->second.ended;
    };
    std::intptr_t result = -1;
    MSG msg;
    try {
        while (!ended(result)) {
            if (!GetMessage(msg)) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                if (!ended(result))
                    result = -1;
                break;
            }
            DispatchMessage(msg);
        }
    } catch (...) {
        // A handler failed inside the loop: the dialog goes as a closed one would, before the
        // failure reaches the caller.
        DestroyWindow(hwnd);
        throw;
    }
    DestroyWindow(hwnd);
    return result;
}

bool EndDialog(HWND dialog, std::intptr_t result) {
    System& s = Sys();
    {
        std::lock_guard lock(s.mutex);
        auto it = s.dialogs.find(dialog);
        if (it == s.dialogs.end() || it->second.ended)
            return false;
        it->second.ended = true;
        it->second.result = result;
        // Wake the modal loop, which may be waiting for a message.
        s.posted.push_back(MSG{dialog, WM_NULL, 0, 0, nullptr});
    }
    s.arrived.notify_all();
    return true;
}

void SetAfterDispatch(std::function<void()> hook) {
    System& s = Sys();
    std::lock_guard lock(s.mutex);
    s.afterDispatch = std::move(hook);
}

} // namespace verdal
