// The engine's views on the user-interface thread: documents, notifications, element events
// from the browser, and the state and patches sent back to it.
#include "engine/engine.h"

#include "engine/form_controls.h"
#include "engine/internal.h"
#include "platform/text.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>

namespace verdal::engine {

using nlohmann::json;

namespace {

constexpr UINT kTaskMessage = WM_USER + 1;
constexpr UINT kFlushMessage = WM_USER + 2;

struct View {
    ViewKind kind = ViewKind::Window;
    ViewCallbacks* callbacks = nullptr;
    ViewCallbacks* handler = nullptr;
    unsigned subscription = 0;
    std::unique_ptr<Document> document;
    std::string mediaType = "screen";
    std::uint64_t order = 0;
    int minWidth = 0, minHeight = 0;
    int width = 0, height = 0, bandHeight = 0, bandMargin = 0;
    bool reload = true; // the browser needs the whole document
    // A load-data request waiting for DataReady.
    const std::u16string* pendingUri = nullptr;
    std::string* pendingData = nullptr;
    bool pendingAnswered = false;
};

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

struct State {
    std::map<HWND, View> views;
    std::vector<HWND> closed;
    std::map<HWND, int> controlIds;
    std::uint64_t nextOrder = 1;
    std::vector<json> transient; // beep and menu operations
    json openMenu;               // the menu on screen, for connections that come later
    std::uint64_t menuToken = 0;
    HWND menuOwner = 0;
    POINT mousePos;
    Pump pump;
    HWND pumpHwnd = 0;
    bool flushPosted = false;
};

State& S() {
    static State* state = new State; // lives until exit: detached workers may post late
    return *state;
}

std::atomic<bool> contrastPreferred{false};

void DocumentChanged(void*) {
    MarkDirty();
}

View* FindView(HWND hwnd) {
    auto it = S().views.find(hwnd);
    return it == S().views.end() ? nullptr : &it->second;
}

std::string Color(const RGB& c) {
    return "rgb(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) +
           ")";
}

json Texts(const std::vector<std::u16string>& texts) {
    json out = json::array();
    for (const auto& text : texts)
        out.push_back(Utf16ToUtf8(text));
    return out;
}

json ListJson(ListView& list) {
    list.PaintTexts();
    json columns = json::array();
    for (const auto& column : list.columns)
        columns.push_back({{"text", Utf16ToUtf8(column.text)}, {"width", column.width}});
    json rows = json::array();
    for (const auto& item : list.items)
        rows.push_back(Texts(item.shown));
    list.fullDirty = false;
    list.rowsDirtyFrom = SIZE_MAX;
    list.selectionDirty = false;
    return {{"o", "list"},
            {"hwnd", list.Handle()},
            {"style", list.style},
            {"exStyle", list.exStyle},
            {"rowHeight", list.rowHeight},
            {"columns", columns},
            {"rows", rows},
            {"sel", list.Selected()},
            {"colors",
             {Color(list.colors.background), Color(list.colors.outer), Color(list.colors.inner),
              Color(list.colors.gradientTop), Color(list.colors.gradientBottom)}}};
}

std::string DocumentHtml(HWND hwnd, const View& view) {
    std::string html = SerializeForBrowser(*view.document->Root().node(), true);
    // Relative URLs of the page are asked of its host; the engine's look comes first.
    const std::string inject = "<base href=\"/data/" + std::to_string(hwnd) +
                               "/\"><link rel=\"stylesheet\" href=\"/engine.css\">";
    const std::size_t head = html.find("<head ");
    const std::size_t close = head == std::string::npos ? head : html.find('>', head);
    if (close != std::string::npos)
        html.insert(close + 1, inject);
    return "<!DOCTYPE html>" + html;
}

json ViewJson(HWND hwnd, View& view) {
    view.reload = false;
    view.document->TakePatches();
    return {{"o", "view"},
            {"hwnd", hwnd},
            {"kind", view.kind == ViewKind::Dialog   ? "dialog"
                     : view.kind == ViewKind::Nested ? "nested"
                                                     : "window"},
            {"order", view.order},
            {"media", view.mediaType},
            {"width", view.width},
            {"height", view.height},
            {"band", {view.bandHeight, view.bandMargin}},
            {"html", DocumentHtml(hwnd, view)}};
}

json PatchJson(HWND hwnd, const PatchOp& op) {
    auto node = op.node.lock();
    if (!node || !node->document)
        return nullptr;
    Element element(node);
    switch (op.kind) {
    case PatchOp::Kind::Inner:
        return {{"o", "inner"},
                {"hwnd", hwnd},
                {"id", node->uid},
                {"html", SerializeForBrowser(*node, false)}};
    case PatchOp::Kind::Attribute: {
        std::string value;
        if (!element.GetAttribute(op.name, value))
            return {{"o", "attr"},
                    {"hwnd", hwnd},
                    {"id", node->uid},
                    {"name", op.name},
                    {"value", nullptr}};
        return {
            {"o", "attr"}, {"hwnd", hwnd}, {"id", node->uid}, {"name", op.name}, {"value", value}};
    }
    case PatchOp::Kind::Value:
        return {{"o", "value"},
                {"hwnd", hwnd},
                {"id", node->uid},
                {"value", Utf16ToUtf8(ControlGetValue(element).ToString())}};
    case PatchOp::Kind::Checked:
        return {{"o", "checked"}, {"hwnd", hwnd}, {"id", node->uid}, {"on", node->checked}};
    }
    return nullptr;
}

// The whole state: every view, every list view, the menu on screen.
json FullState() {
    json ops = json::array();
    for (auto& [hwnd, view] : S().views)
        ops.push_back(ViewJson(hwnd, view));
    for (ListView* list : AllListViews())
        ops.push_back(ListJson(*list));
    if (!S().openMenu.is_null())
        ops.push_back(S().openMenu);
    S().closed.clear();
    return {{"t", "state"}, {"ops", ops}};
}

json Changes() {
    json ops = json::array();
    State& s = S();
    for (HWND hwnd : s.closed)
        ops.push_back({{"o", "close"}, {"hwnd", hwnd}});
    s.closed.clear();
    for (auto& [hwnd, view] : s.views) {
        if (view.reload) {
            ops.push_back(ViewJson(hwnd, view));
            continue;
        }
        for (const PatchOp& op : view.document->TakePatches()) {
            json patch = PatchJson(hwnd, op);
            if (!patch.is_null())
                ops.push_back(std::move(patch));
        }
    }
    for (ListView* list : AllListViews()) {
        if (list->fullDirty) {
            ops.push_back(ListJson(*list));
            continue;
        }
        if (list->rowsDirtyFrom != SIZE_MAX) {
            const std::size_t from = std::min(list->rowsDirtyFrom, list->items.size());
            list->PaintTexts();
            json rows = json::array();
            for (std::size_t i = from; i < list->items.size(); ++i)
                rows.push_back(Texts(list->items[i].shown));
            ops.push_back({{"o", "rows"},
                           {"hwnd", list->Handle()},
                           {"start", from},
                           {"count", list->items.size()},
                           {"rows", rows}});
            list->rowsDirtyFrom = SIZE_MAX;
        }
        if (list->selectionDirty) {
            ops.push_back({{"o", "sel"}, {"hwnd", list->Handle()}, {"sel", list->Selected()}});
            list->selectionDirty = false;
        }
    }
    for (auto& op : s.transient)
        ops.push_back(std::move(op));
    s.transient.clear();
    return ops;
}

// The nearest element from the target outwards that is a control of one of the types.
Element ControlFrom(Element element, std::initializer_list<int> types) {
    for (; element; element = element.Parent()) {
        const int type = ControlGetType(element);
        for (int wanted : types)
            if (type == wanted)
                return element;
    }
    return {};
}

Element ElementByUid(View& view, std::uint32_t uid) {
    Element found;
    if (uid == 0)
        return found;
    std::vector<std::shared_ptr<Node>> stack{view.document->Root().shared()};
    while (!stack.empty()) {
        auto node = std::move(stack.back());
        stack.pop_back();
        if (node->uid == uid)
            return Element(node);
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            if ((*it)->kind == Node::Kind::Element)
                stack.push_back(*it);
    }
    return found;
}

void DeliverBehavior(HWND hwnd, unsigned cmd, const Element& target) {
    View* view = FindView(hwnd);
    if (!view || !view->handler || !(view->subscription & HANDLE_BEHAVIOR_EVENT))
        return;
    BEHAVIOR_EVENT_PARAMS params;
    params.cmd = cmd;
    params.heTarget = target;
    params.he = target;
    view->handler->OnElementEvent(view->document->Root(), HANDLE_BEHAVIOR_EVENT, &params);
}

void DeliverKey(HWND hwnd, const Element& target, unsigned key, unsigned alt) {
    View* view = FindView(hwnd);
    if (!view || !view->handler || !(view->subscription & HANDLE_KEY))
        return;
    KEY_PARAMS params;
    params.cmd = KEY_DOWN;
    params.target = target;
    params.key_code = key;
    params.alt_state = alt;
    view->handler->OnElementEvent(view->document->Root(), HANDLE_KEY, &params);
}

// Views under an open dialog are inert: their events are not delivered.
bool IsInert(HWND hwnd) {
    const View* view = FindView(hwnd);
    if (!view)
        return true;
    for (const auto& [other, candidate] : S().views)
        if (candidate.kind == ViewKind::Dialog && candidate.order > view->order)
            return true;
    return false;
}

void HandleElementMessage(const json& message, const std::string& type) {
    const HWND hwnd = message.value("hwnd", HWND{0});
    View* view = FindView(hwnd);
    if (!view || IsInert(hwnd))
        return;
    Element target = ElementByUid(*view, message.value("id", 0u));
    if (!target)
        return;
    // The mirror takes the browser's value and state before any handler runs.
    if (message.contains("value") && message["value"].is_string())
        ApplyBrowserValue(target, message["value"].get<std::string>());
    if (message.contains("checked") && message["checked"].is_boolean())
        ApplyBrowserChecked(target, message["checked"].get<bool>());
    if (type == "click") {
        if (Element control = ControlFrom(target, {CTL_BUTTON, CTL_CHECKBOX, CTL_RADIO})) {
            if (control.State() & STATE_DISABLED)
                return;
            if (ControlGetType(control) != CTL_BUTTON)
                DeliverBehavior(hwnd, BUTTON_STATE_CHANGED, control);
            DeliverBehavior(hwnd, BUTTON_CLICK, control);
        }
    } else if (type == "change") {
        const int control = ControlGetType(target);
        if (control == CTL_SELECT_SINGLE || control == CTL_SELECT_MULTIPLE)
            DeliverBehavior(hwnd, SELECT_SELECTION_CHANGED, target);
    } else if (type == "input") {
        DeliverBehavior(hwnd, EDIT_VALUE_CHANGED, target);
    } else if (type == "key") {
        DeliverKey(hwnd, target, message.value("key", 0u), message.value("alt", 0u));
    }
}

void HandleBrowserMessage(const json& message);

} // namespace

void MarkDirty() {
    State& s = S();
    if (s.flushPosted || s.pumpHwnd == 0)
        return;
    s.flushPosted = PostMessage(s.pumpHwnd, kFlushMessage);
}

void StartEngine() {
    State& s = S();
    if (s.pumpHwnd != 0)
        return;
    s.pumpHwnd = CreateWindowFor(s.pump, 0);
    SetAfterDispatch([] {
        if (S().flushPosted || !S().transient.empty())
            Flush();
    });
}

bool PostTask(std::function<void()> task) {
    const HWND pump = S().pumpHwnd;
    if (pump == 0)
        return false;
    return PostMessageWith(pump, kTaskMessage, 0,
                           std::make_unique<std::function<void()>>(std::move(task)));
}

void Flush() {
    State& s = S();
    s.flushPosted = false;
    json ops = Changes();
    if (ops.empty() || !HasBrowsers())
        return;
    BroadcastToBrowsers(json{{"t", "patch"}, {"ops", std::move(ops)}}.dump(
        -1, ' ', false, json::error_handler_t::replace));
}

void OnBrowserConnected(std::uint64_t session) {
    // What changed so far goes to the others first; the newcomer gets the whole state.
    Flush();
    SendToBrowser(session, FullState().dump(-1, ' ', false, json::error_handler_t::replace));
}

void OnBrowserMessage(const std::string& text) {
    const json message = json::parse(text, nullptr, false);
    if (!message.is_object())
        return;
    // A message of the wrong shape is dropped whole: what the browser sends never ends the
    // program.
    try {
        HandleBrowserMessage(message);
    } catch (const json::exception& error) {
        std::fprintf(stderr, "verdal: browser message dropped: %s\n", error.what());
    }
}

namespace {

void HandleBrowserMessage(const json& message) {
    const std::string type = message.value("t", "");
    if (message.contains("x") && message["x"].is_number() && message.contains("y") &&
        message["y"].is_number())
        S().mousePos = POINT{message.value("x", 0), message.value("y", 0)};
    if (type == "hello") {
        contrastPreferred = message.value("contrast", false);
    } else if (type == "click" || type == "change" || type == "input" || type == "key") {
        HandleElementMessage(message, type);
    } else if (type == "size") {
        if (View* view = FindView(message.value("hwnd", HWND{0}))) {
            view->minWidth = message.value("w", 0);
            view->minHeight = message.value("h", 0);
        }
    } else if (type == "lvsel" || type == "lvrclick") {
        ListView* list = FindListView(message.value("hwnd", HWND{0}));
        if (!list || IsInert(GetParent(list->Handle())))
            return;
        if (message.contains("sel") && message["sel"].is_array()) {
            list->ApplySelection(message["sel"].get<std::vector<int>>(),
                                 message.value("focus", -1));
            // Other connections follow this one's selection.
            list->selectionDirty = true;
            MarkDirty();
        }
        if (type == "lvrclick")
            list->RightClick(message.value("item", -1), S().mousePos);
    } else if (type == "menu") {
        State& s = S();
        if (message.value("token", std::uint64_t{0}) != s.menuToken || s.openMenu.is_null())
            return;
        s.openMenu = nullptr;
        s.transient.push_back({{"o", "menuclose"}});
        MarkDirty();
        const unsigned command = message.value("cmd", 0u);
        if (command != 0)
            PostMessage(s.menuOwner, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    }
}

} // namespace

bool CreateView(HWND hwnd, ViewKind kind) {
    State& s = S();
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
    State& s = S();
    if (s.views.erase(hwnd)) {
        s.closed.push_back(hwnd);
        MarkDirty();
    }
}

HWND FirstWindowView() {
    HWND first = 0;
    std::uint64_t order = UINT64_MAX;
    for (const auto& [hwnd, view] : S().views)
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

bool RequestData(HWND hwnd, std::u16string_view uri, std::string& data) {
    View* view = FindView(hwnd);
    if (!view || !view->callbacks)
        return false;
    NMHL_LOAD_DATA record;
    record.hdr = NMHDR{hwnd, 0, HLN_LOAD_DATA};
    record.uri = std::u16string(uri);
    data.clear();
    view->pendingUri = &record.uri;
    view->pendingData = &data;
    view->pendingAnswered = false;
    view->callbacks->OnEngineNotify(record.hdr);
    view = FindView(hwnd);
    if (!view)
        return false;
    view->pendingUri = nullptr;
    view->pendingData = nullptr;
    return view->pendingAnswered;
}

bool DataReady(HWND hwnd, std::u16string_view, const void* data, std::size_t size) {
    View* view = FindView(hwnd);
    if (!view || !view->pendingData) {
        view = nullptr;
        for (auto& [other, candidate] : S().views)
            if (candidate.pendingData)
                view = &candidate;
    }
    if (!view)
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

Element ViewRoot(HWND hwnd) {
    View* view = FindView(hwnd);
    return view ? view->document->Root() : Element();
}

HWND ViewOfElement(const Element& element) {
    Document* document = element.GetDocument();
    for (auto& [hwnd, view] : S().views)
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

void SetDlgCtrlID(HWND control, int id) {
    S().controlIds[control] = id;
}

int GetDlgCtrlID(HWND control) {
    auto it = S().controlIds.find(control);
    return it == S().controlIds.end() ? 0 : it->second;
}

HWND GetDlgItem(HWND parent, int id) {
    for (auto it = S().controlIds.begin(); it != S().controlIds.end();) {
        if (!IsWindow(it->first)) {
            it = S().controlIds.erase(it);
            continue;
        }
        if (it->second == id && GetParent(it->first) == parent)
            return it->first;
        ++it;
    }
    return 0;
}

POINT GetMessagePos() {
    return S().mousePos;
}

void MessageBeep(unsigned) {
    S().transient.push_back({{"o", "beep"}});
    MarkDirty();
}

std::string PreferredMediaType() {
    return contrastPreferred ? "contrast-screen" : "screen";
}

int EnableMenuItem(Menu& menu, unsigned item, unsigned flags) {
    MenuItem* target = nullptr;
    if (flags & MF_BYPOSITION) {
        if (item < menu.items.size())
            target = &menu.items[item];
    } else {
        for (auto& entry : menu.items)
            if (!entry.separator && entry.id == item)
                target = &entry;
    }
    if (!target)
        return -1;
    const int previous =
        target->disabled ? static_cast<int>(MF_DISABLED) : static_cast<int>(MF_ENABLED);
    target->disabled = (flags & (MF_DISABLED | MF_GRAYED)) != 0;
    return previous;
}

bool TrackPopupMenu(const Menu& popup, unsigned, int x, int y, HWND owner) {
    if (popup.items.empty() || !IsWindow(owner))
        return false;
    State& s = S();
    json items = json::array();
    for (const auto& item : popup.items)
        items.push_back({{"id", item.id},
                         {"text", Utf16ToUtf8(item.text)},
                         {"sep", item.separator},
                         {"dis", item.disabled}});
    s.menuToken += 1;
    s.menuOwner = owner;
    s.openMenu = {{"o", "menu"}, {"token", s.menuToken}, {"x", x},
                  {"y", y},      {"items", items},       {"title", Utf16ToUtf8(popup.title)}};
    s.transient.push_back(s.openMenu);
    MarkDirty();
    return true;
}

} // namespace verdal::engine
