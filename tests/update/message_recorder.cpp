// Recording what workers post.
#include "message_recorder.h"

#include "platform/worker.h"

namespace verdal::test {
namespace {

constexpr UINT kMarker = WM_USER + 77;

} // namespace

bool Recorder::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result) {
    result = 0;
    if (message == kMarker) {
        sawMarker_ = true;
        return true;
    }
    if (message != kStatusMessage && message != kProgressMessage)
        return false;
    Posted record{message, wParam, {}};
    if (message == kStatusMessage && wParam == static_cast<WPARAM>(StatusCode::CourseStored))
        record.text = *reinterpret_cast<const std::u16string*>(lParam);
    posted.push_back(std::move(record));
    return true;
}

std::vector<WPARAM> Recorder::Statuses() const {
    std::vector<WPARAM> codes;
    for (const Posted& p : posted)
        if (p.message == kStatusMessage)
            codes.push_back(p.wParam);
    return codes;
}

std::vector<WPARAM> Recorder::Progress() const {
    std::vector<WPARAM> values;
    for (const Posted& p : posted)
        if (p.message == kProgressMessage)
            values.push_back(p.wParam);
    return values;
}

std::vector<std::u16string> Recorder::StoredNames() const {
    std::vector<std::u16string> names;
    for (const Posted& p : posted)
        if (p.message == kStatusMessage &&
            p.wParam == static_cast<WPARAM>(StatusCode::CourseStored))
            names.push_back(p.text);
    return names;
}

void Recorder::HandleQueued() {
    sawMarker_ = false;
    PostMessage(Handle(), kMarker);
    MSG msg;
    while (!sawMarker_ && GetMessage(msg))
        DispatchMessage(msg);
}

std::intptr_t RunRecordedDialog(Recorder& page, const std::function<void(HWND)>& worker,
                                HWND owner) {
    return RunWorkerDialog(
        page, [&worker](HWND pageWindow, std::stop_token) { worker(pageWindow); }, owner);
}

} // namespace verdal::test
