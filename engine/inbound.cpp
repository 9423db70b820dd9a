// What the browser sends, as protocol.h lays it out: the mirror takes the browser's values, and
// each message reaches the view's handler, a list view or a menu's owner.
#include "engine/form_controls.h"
#include "engine/internal.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace verdal::engine {

using nlohmann::json;
using protocol::Message;

namespace {

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

void DeliverKey(HWND hwnd, const Element& target, unsigned key, unsigned alt) {
    KEY_PARAMS params;
    params.cmd = KEY_DOWN;
    params.target = target;
    params.key_code = key;
    params.alt_state = alt;
    Deliver(hwnd, HANDLE_KEY, &params);
}

void OnElementMessage(const json& message, Message kind) {
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
        DeliverKey(hwnd, target, message.value("key", 0u), message.value("alt", 0u));
        break;
    default:
        break;
    }
}

void OnListMessage(const json& message, Message kind) {
    ListView* list = FindListView(message.value("hwnd", HWND{0}));
    if (!list || IsInert(GetParent(list->Handle())))
        return;
    if (message.contains("sel") && message["sel"].is_array()) {
        list->ApplySelection(message["sel"].get<std::vector<int>>(), message.value("focus", -1));
        // Other connections follow this one's selection.
        list->selectionDirty = true;
        MarkDirty();
    }
    if (kind == Message::ListRightClick)
        list->RightClick(message.value("item", -1), State().mousePos);
}

void OnMenuChoice(const json& message) {
    EngineState& s = State();
    if (s.openMenu.token == 0 || message.value("token", std::uint64_t{0}) != s.openMenu.token)
        return;
    s.openMenu = {};
    s.notices.push_back(Notice{protocol::Op::MenuClose, {}});
    MarkDirty();
    const unsigned command = message.value("cmd", 0u);
    if (command != 0)
        PostMessage(s.menuOwner, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void Dispatch(const json& message) {
    Message kind;
    if (!protocol::FindMessage(message.value("t", ""), kind))
        return;
    if (message.contains("x") && message["x"].is_number() && message.contains("y") &&
        message["y"].is_number())
        State().mousePos = POINT{message.value("x", 0), message.value("y", 0)};
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
        if (View* view = FindView(message.value("hwnd", HWND{0}))) {
            view->minWidth = message.value("w", 0);
            view->minHeight = message.value("h", 0);
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
