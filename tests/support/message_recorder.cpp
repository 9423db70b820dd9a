// Recording what workers post, and pumping the message queue.
#include "tests/support/message_recorder.h"

#include "platform/text.h"
#include "platform/worker.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace verdal::test {

constexpr UINT kMarker = WM_USER + 77;

bool Recorder::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result) {
    result = 0;
    if (message == kMarker) {
        bodyEnded_ = true;
        return true;
    }
    if (message == kProgressTextMessage) {
        posted.push_back({message, wParam, *reinterpret_cast<const std::string*>(lParam)});
        return true;
    }
    if (message != kStatusMessage && message != kProgressMessage)
        return false;
    posted.push_back({message, wParam, message == kStatusMessage ? StatusText(lParam) : ""});
    return true;
}

std::vector<WPARAM> Recorder::WParams(UINT message) const {
    std::vector<WPARAM> values;
    for (const Posted& p : posted)
        if (p.message == message)
            values.push_back(p.wParam);
    return values;
}

std::vector<std::u16string> Recorder::StoredNames() const {
    std::vector<std::u16string> names;
    for (const Posted& p : posted)
        if (p.message == kStatusMessage &&
            p.wParam == static_cast<WPARAM>(StatusCode::CourseStored))
            names.push_back(Utf8ToUtf16(p.text));
    return names;
}

std::string Recorder::LastStatusText() const {
    for (auto p = posted.rbegin(); p != posted.rend(); ++p)
        if (p->message == kStatusMessage)
            return p->text;
    return {};
}

void Recorder::RunWhile(const std::function<void()>& body) {
    bodyEnded_ = false;
    const HWND hwnd = Handle();
    Worker worker;
    worker.Start([&](std::stop_token) {
        body();
        PostMessage(hwnd, kMarker);
    });
    MSG msg;
    while (!bodyEnded_)
        if (GetMessage(msg))
            DispatchMessage(msg);
    worker.Join();
}

bool PumpUntil(HWND anyWindow, const std::function<bool()>& done, int boundMs) {
    std::atomic<bool> stop{false};
    // Messages keep coming while we wait, so that GetMessage returns to look at done().
    std::thread waker([&] {
        while (!stop) {
            PostMessage(anyWindow, WM_NULL);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    MSG msg;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        if (GetMessage(msg))
            DispatchMessage(msg);
    stop = true;
    waker.join();
    return done();
}

void DrainQueue() {
    // The end of an empty body is posted behind what is queued so far.
    Recorder marker;
    CreateWindowFor(marker, 0);
    marker.RunWhile([] {});
    DestroyWindow(marker.Handle());
}

} // namespace verdal::test
