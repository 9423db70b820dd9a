// What the browser sends, as protocol.h lays it out: the mirror takes the browser's values, and
// each message reaches the view's handler, a list view or a menu's owner.
#include "engine/form_controls.h"
#include "engine/internal.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace verdal::engine {

using nlohmann::json;
using protocol::Message;

namespace {

// A number the browser sent, as T; fallback for one outside T's range, a fraction's whole part
// for a fraction. JSON numbers may be any double, and a cast of one outside the range is
// undefined; anything but a number throws, as the library's own reads do.
template <class T> T AsNumber(const json& value, T fallback) {
    const auto within = [fallback](auto n) {
        return std::in_range<T>(n) ? static_cast<T>(n) : fallback;
    };
    if (value.is_number_unsigned())
        return within(value.get<std::uint64_t>());
    if (value.is_number_integer())
        return within(value.get<std::int64_t>());
    if (value.is_number_float()) {
        // Within +-2^53 every double converts to a 64-bit integer exactly.
        const double d = std::trunc(value.get<double>());
        return std::fabs(d) <= 9007199254740992.0 ? within(static_cast<std::int64_t>(d)) : fallback;
    }
    throw json::type_error::create(302, "a number is wanted", &value);
}

// The message's number under key, as T; fallback when there is none.
template <class T> T Field(const json& message, const char* key, T fallback) {
    const auto it = message.find(key);
    return it == message.end() ? fallback : AsNumber<T>(*it, fallback);
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

// Hands an event of the group to the view's handler when the view subscribed to the group.
void Deliver(HWND hwnd, unsigned group, void* params) {
    View* view = FindView(hwnd);
    if (view && view->handler && (view->subscription & group))
        view->handler->OnElementEvent(view->document->Root(), group, params);
}

void DeliverBehavior(HWND hwnd, unsigned cmd, const Element& target) {
    BEHAVIOR_EVENT_PARAMS params;
    params.cmd = cmd;
    params.heTarget = target;
    params.he = target;
    Deliver(hwnd, HANDLE_BEHAVIOR_EVENT, &params);
}

void DeliverKey(HWND hwnd, const Element& target, unsigned key, unsigned modifiers) {
    KEY_PARAMS params;
    params.cmd = KEY_DOWN;
    params.target = target;
    params.key_code = key;
    params.alt_state = modifiers;
    Deliver(hwnd, HANDLE_KEY, &params);
}

void OnElementMessage(const json& message, Message kind) {
    const HWND hwnd = Field(message, "hwnd", HWND{0});
    View* view = FindView(hwnd);
    if (!view || IsInert(hwnd))
        return;
    Element target = ElementByUid(*view, Field(message, "id", 0u));
    if (!target)
        return;
    // The mirror takes the browser's value and state before any handler runs.
    if (message.contains("value") && message["value"].is_string())
        ApplyBrowserValue(target, message["value"].get<std::string>());
    if (message.contains("checked") && message["checked"].is_boolean())
        ApplyBrowserChecked(target, message["checked"].get<bool>());
    switch (kind) {
    case Message::Click:
        if (Element control = ControlFrom(target, {CTL_BUTTON, CTL_CHECKBOX, CTL_RADIO})) {
            if (control.State() & STATE_DISABLED)
                return;
            if (ControlGetType(control) != CTL_BUTTON)
                DeliverBehavior(hwnd, BUTTON_STATE_CHANGED, control);
            DeliverBehavior(hwnd, BUTTON_CLICK, control);
        }
        break;
    case Message::Change: {
        const int control = ControlGetType(target);
        if (control == CTL_SELECT_SINGLE || control == CTL_SELECT_MULTIPLE)
            DeliverBehavior(hwnd, SELECT_SELECTION_CHANGED, target);
        break;
    }
    case Message::Input:
        DeliverBehavior(hwnd, EDIT_VALUE_CHANGED, target);
        break;
    case Message::Key:
        DeliverKey(hwnd, target, Field(message, "key", 0u), Field(message, "modifiers", 0u));
        break;
    default:
        break;
    }
}

void OnListMessage(const json& message, Message kind) {
    ListView* list = FindListView(Field(message, "hwnd", HWND{0}));
    if (!list || IsInert(GetParent(list->Handle())))
        return;
    if (message.contains("sel") && message["sel"].is_array()) {
        std::vector<int> selected;
        for (const json& item : message["sel"])
            selected.push_back(AsNumber(item, -1));
        list->ApplySelection(selected, Field(message, "focus", -1));
        // Other connections follow this one's selection.
        list->selectionDirty = true;
        MarkDirty();
    }
    if (kind == Message::ListRightClick)
        list->RightClick(Field(message, "item", -1), State().mousePos);
}

void OnMenuChoice(const json& message) {
    EngineState& s = State();
    if (s.openMenu.token == 0 || Field(message, "token", std::uint64_t{0}) != s.openMenu.token)
        return;
    s.openMenu = {};
    s.notices.push_back(Notice{protocol::Op::MenuClose, {}});
    MarkDirty();
    const unsigned command = Field(message, "cmd", 0u);
    if (command != 0)
        PostMessage(s.menuOwner, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void Dispatch(const json& message) {
    Message kind;
    if (!protocol::FindMessage(message.value("t", ""), kind))
        return;
    if (message.contains("x") && message["x"].is_number() && message.contains("y") &&
        message["y"].is_number())
        State().mousePos = POINT{Field(message, "x", 0), Field(message, "y", 0)};
    switch (kind) {
    case Message::Hello:
        State().contrastPreferred = message.value("contrast", false);
        break;
    case Message::Click:
    case Message::Change:
    case Message::Input:
    case Message::Key:
        OnElementMessage(message, kind);
        break;
    case Message::Size:
        if (View* view = FindView(Field(message, "hwnd", HWND{0}))) {
            view->minWidth = Field(message, "w", 0);
            view->minHeight = Field(message, "h", 0);
        }
        break;
    case Message::ListSelection:
    case Message::ListRightClick:
        OnListMessage(message, kind);
        break;
    case Message::MenuChoice:
        OnMenuChoice(message);
        break;
    }
}

} // namespace

void OnBrowserMessage(const std::string& text) {
    const json message = json::parse(text, nullptr, false);
    if (!message.is_object())
        return;
    // A message of the wrong shape is dropped whole: what the browser sends never ends the
    // program.
    try {
        Dispatch(message);
    } catch (const json::exception& error) {
        std::fprintf(stderr, "verdal: browser message dropped: %s\n", error.what());
    }
}

} // namespace verdal::engine
