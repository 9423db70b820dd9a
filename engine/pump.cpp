// How the engine reaches the user-interface thread and the browsers: tasks posted from other
// threads, and the changes of each dispatched message sent as one patch.
#include "engine/internal.h"

namespace verdal::engine {
namespace {

constexpr UINT kTaskMessage = WM_USER + 1;
constexpr UINT kFlushMessage = WM_USER + 2;

// The hidden window through which other threads reach the user-interface thread.
class Pump : public Window {
public:
    bool ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT&) override {
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
};

struct PumpState {
    Pump pump;
    HWND hwnd = 0;
    bool flushPosted = false;
};

PumpState& ThePump() {
    static PumpState* state = new PumpState; // lives until exit: workers may post late
    return *state;
}

} // namespace

void MarkDirty() {
    PumpState& p = ThePump();
    if (p.flushPosted || p.hwnd == 0)
        return;
    p.flushPosted = PostMessage(p.hwnd, kFlushMessage);
}

void StartEngine() {
    PumpState& p = ThePump();
    if (p.hwnd != 0)
        return;
    p.hwnd = CreateWindowFor(p.pump, 0);
    SetAfterDispatch([] {
        if (ThePump().flushPosted || !Engine().notices.empty())
            Flush();
    });
}

bool PostTask(std::function<void()> task) {
    const HWND pump = ThePump().hwnd;
    if (pump == 0)
        return false;
    return PostMessageWith(pump, kTaskMessage, 0,
                           std::make_unique<std::function<void()>>(std::move(task)));
}

void Flush() {
    ThePump().flushPosted = false;
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
