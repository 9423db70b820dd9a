// The engine's views and their registry: one view for each window that shows a page, its
// document, its host's callbacks and the sizes the browser reported.
#include "engine/internal.h"

namespace verdal::engine {
namespace {

void DocumentChanged(void*) {
    MarkDirty();
}

} // namespace

View* FindView(HWND hwnd) {
    auto it = State().views.find(hwnd);
    return it == State().views.end() ? nullptr : &it->second;
}

bool IsInert(HWND hwnd) {
    const View* view = FindView(hwnd);
    if (!view)
        return true;
    for (const auto& [other, candidate] : State().views)
        if (candidate.kind == ViewKind::Dialog && candidate.order > view->order)
            return true;
    return false;
}

bool CreateView(HWND hwnd, ViewKind kind) {
    EngineState& s = State();
    if (s.views.count(hwnd))
        return false;
    View& view = s.views[hwnd];
    view.kind = kind;
    view.order = s.nextOrder++;
    view.document = std::make_unique<Document>("");
    view.document->SetChangeHook(DocumentChanged, nullptr);
    MarkDirty();
    return true;
}

void DestroyView(HWND hwnd) {
    EngineState& s = State();
    if (s.views.erase(hwnd)) {
        s.closed.push_back(hwnd);
        MarkDirty();
    }
}

HWND FirstWindowView() {
    HWND first = 0;
    std::uint64_t order = UINT64_MAX;
    for (const auto& [hwnd, view] : State().views)
        if (view.kind == ViewKind::Window && view.order < order) {
            first = hwnd;
            order = view.order;
        }
    return first;
}

bool IsView(HWND hwnd) {
    return FindView(hwnd) != nullptr;
}

void SetCallback(HWND hwnd, ViewCallbacks* callbacks) {
    if (View* view = FindView(hwnd))
        view->callbacks = callbacks;
}

void AttachEventHandler(HWND hwnd, ViewCallbacks* handler, unsigned subscription) {
    if (View* view = FindView(hwnd)) {
        view->handler = handler;
        view->subscription = subscription;
    }
}

void SetMediaType(HWND hwnd, std::string_view mediaType) {
    if (View* view = FindView(hwnd))
        view->mediaType = std::string(mediaType);
}

bool LoadHtml(HWND hwnd, std::string_view html) {
    View* view = FindView(hwnd);
    if (!view)
        return false;
    view->document = std::make_unique<Document>(html);
    view->reload = true;
    MarkDirty();
    // Each widget element gets its native control from the host.
    if (view->callbacks) {
        ViewCallbacks* callbacks = view->callbacks;
        Document* document = view->document.get();
        for (Element& widget : document->Root().Select("widget, iframe")) {
            NMHL_CREATE_CONTROL record;
            record.hdr = NMHDR{hwnd, 0, HLN_CREATE_CONTROL};
            record.helement = widget;
            record.inHwndParent = hwnd;
            callbacks->OnEngineNotify(record.hdr);
            view = FindView(hwnd);
            if (!view || view->document.get() != document)
                return false; // the host replaced or closed the view meanwhile
            if (record.outControlHwnd > 1 && IsWindow(record.outControlHwnd))
                widget.node()->control = record.outControlHwnd;
        }
        NMHDR loaded{hwnd, 0, HLN_DOCUMENT_COMPLETE};
        callbacks->OnEngineNotify(loaded);
    }
    if (View* current = FindView(hwnd))
        current->document->SetChangeHook(DocumentChanged, nullptr);
    return true;
}

Element ViewRoot(HWND hwnd) {
    View* view = FindView(hwnd);
    return view ? view->document->Root() : Element();
}

HWND ViewOfElement(const Element& element) {
    Document* document = element.GetDocument();
    for (auto& [hwnd, view] : State().views)
        if (view.document.get() == document && document)
            return hwnd;
    return 0;
}

int GetMinWidth(HWND hwnd) {
    View* view = FindView(hwnd);
    return view ? view->minWidth : 0;
}

int GetMinHeight(HWND hwnd, int) {
    View* view = FindView(hwnd);
    return view ? view->minHeight : 0;
}

void SetDialogFrame(HWND hwnd, int width, int height, int bandHeight, int bandRightMargin) {
    if (View* view = FindView(hwnd)) {
        view->width = width;
        view->height = height;
        view->bandHeight = bandHeight;
        view->bandMargin = bandRightMargin;
        view->reload = true;
        MarkDirty();
    }
}

POINT GetMessagePos() {
    return State().mousePos;
}

void MessageBeep(unsigned) {
    State().notices.push_back(Notice{protocol::Op::Beep, {}});
    MarkDirty();
}

std::string PreferredMediaType() {
    return State().contrastPreferred ? "contrast-screen" : "screen";
}

} // namespace verdal::engine
