// How the engine reaches the user-interface thread and the browsers: tasks posted from other
// threads, and the changes of each dispatched message sent as one patch.
#include "engine/internal.h"

#include <atomic>

namespace verdal::engine {
namespace {

constexpr UINT kTaskMessage = WM_USER + 1;
constexpr UINT kFlushMessage = WM_USER + 2;

// The engine's pump window, for posting from any thread. A handle rather than a pointer: a task
// posted after the engine has gone is refused by the window system, and touches nothing freed.
std::atomic<HWND> pumpWindow{0};

} // namespace

bool Pump::ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT&) {
    if (message == kTaskMessage) {
        (*reinterpret_cast<std::function<void()>*>(static_cast<std::intptr_t>(lParam)))();
        return true;
    }
    if (message == kFlushMessage) {
        Flush();
        return true;
    }
    return false;
}

// Called by the engine object as it is made and as it goes.
void OpenPump(EngineState& state) {
    pumpWindow = CreateWindowFor(state.pump, 0);
    SetAfterDispatch([&state] {
        if (state.flushPosted || !state.notices.empty())
            Flush();
    });
}

void ClosePump(EngineState& state) {
    SetAfterDispatch({});
    DestroyWindow(pumpWindow.exchange(0));
    state.flushPosted = false;
}

void MarkDirty() {
    EngineState& s = State();
    if (!s.flushPosted)
        s.flushPosted = PostMessage(pumpWindow, kFlushMessage);
}

bool PostTask(std::function<void()> task) {
    const HWND pump = pumpWindow;
    return pump != 0 && PostMessageWith(pump, kTaskMessage, 0,
                                        std::make_unique<std::function<void()>>(std::move(task)));
}

void Flush() {
    State().flushPosted = false;
    std::string patch = PatchMessage();
    if (!patch.empty() && HasBrowsers())
        BroadcastToBrowsers(std::move(patch));
}

void OnBrowserConnected(std::uint64_t session) {
    // What changed so far goes to the others first; the newcomer gets the whole state.
    Flush();
    SendToBrowser(session, StateMessage());
}

} // namespace verdal::engine
