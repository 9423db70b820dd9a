// Data for the URIs a view's page refers to: asked of the view's host through the load-data
// notification, which answers with DataReady before it returns.
#include "engine/internal.h"

namespace verdal::engine {

bool RequestData(HWND hwnd, std::u16string_view uri, std::string& data) {
    View* view = FindView(hwnd);
    if (!view || !view->callbacks)
        return false;
    NMHL_LOAD_DATA record;
    record.hdr = NMHDR{hwnd, 0, HLN_LOAD_DATA};
    record.uri = std::u16string(uri);
    data.clear();
    view->pendingData = &data;
    view->pendingAnswered = false;
    view->callbacks->OnEngineNotify(record.hdr);
    view = FindView(hwnd);
    if (!view)
        return false;
    view->pendingData = nullptr;
    return view->pendingAnswered;
}

bool DataReady(HWND hwnd, std::u16string_view, const void* data, std::size_t size) {
    View* view = FindView(hwnd);
    if (!view || !view->pendingData)
        return false;
    view->pendingData->assign(static_cast<const char*>(data), size);
    view->pendingAnswered = true;
    return true;
}

bool LoadFile(HWND hwnd, std::u16string_view url) {
    std::string data;
    if (!RequestData(hwnd, url, data))
        return false;
    return LoadHtml(hwnd, data);
}

} // namespace verdal::engine
