// Form controls of the mirror: which elements are controls, of which type, with which value.
#include "engine/form_controls.h"

#include "platform/text.h"

#include <cstdlib>

namespace verdal::engine {

namespace {

struct BehaviorRow {
    const char* behavior;
    int type;
};

// The behaviours the mirror knows, with their control type.
constexpr BehaviorRow kBehaviors[] = {
    {"button", CTL_BUTTON},
    {"check", CTL_CHECKBOX},
    {"radio", CTL_RADIO},
    {"edit", CTL_EDIT},
    {"number", CTL_NUMERIC},
    {"password", CTL_PASSWORD},
    {"dropdown", CTL_SELECT_SINGLE},
    {"select", CTL_SELECT_SINGLE},
    {"select-multiple", CTL_SELECT_MULTIPLE},
    {"textarea", CTL_TEXTAREA},
    {"htmlarea", CTL_HTMLAREA},
    {"progress", CTL_PROGRESS},
};

std::string InputType(const Element& element) {
    return AsciiLower(element.Attribute("type"));
}

std::vector<Element> Options(const Element& select) {
    return select.Select("option");
}

std::string OptionValue(const Element& option) {
    std::string value;
    if (option.GetAttribute("value", value))
        return value;
    return option.Text();
}

void SetChecked(Element& element, bool on) {
    Node* node = element.node();
    if (node->checked == on)
        return;
    node->checked = on;
    if (node->document)
        node->document->Record(PatchOp::Kind::Checked, element.shared());
}

// Turns a radio button on and the others of its group (same name, same document) off.
void CheckRadio(Element& radio) {
    const std::string name = radio.Attribute("name");
    if (Document* document = radio.GetDocument(); document && !name.empty()) {
        for (Element& other : document->Root().Select("input[type='radio']")) {
            if (!(other == radio) && other.Attribute("name") == name)
                SetChecked(other, false);
        }
    }
    SetChecked(radio, true);
}

void SetLiveValue(Element& element, std::string text) {
    Node* node = element.node();
    node->value = std::move(text);
    node->valueLive = true;
    if (node->document)
        node->document->Record(PatchOp::Kind::Value, element.shared());
}

} // namespace

std::string DefaultBehavior(const Node& node) {
    if (node.kind != Node::Kind::Element)
        return {};
    const Element element(std::shared_ptr<Node>(std::shared_ptr<Node>(), const_cast<Node*>(&node)));
    if (node.tag == "input") {
        const std::string type = InputType(element);
        if (type == "button" || type == "submit" || type == "reset" || type == "image")
            return "button";
        if (type == "checkbox")
            return "check";
        if (type == "radio")
            return "radio";
        if (type == "password")
            return "password";
        if (type == "number")
            return "number";
        if (type == "hidden")
            return "hidden";
        return "edit";
    }
    if (node.tag == "button")
        return "button";
    if (node.tag == "select")
        return element.HasAttribute("multiple") ? "select-multiple" : "dropdown";
    if (node.tag == "textarea")
        return "textarea";
    if (node.tag == "progress")
        return "progress";
    return {};
}

int ControlGetType(const Element& element) {
    if (!element)
        return CTL_NO;
    const std::string behavior = element.StyleProperty("behavior");
    if (behavior.empty())
        return CTL_NO;
    for (const auto& row : kBehaviors) {
        if (EqualsNoCase(behavior, row.behavior))
            return row.type;
    }
    return CTL_UNKNOWN;
}

Value ControlGetValue(const Element& element) {
    const Node* node = element.node();
    switch (ControlGetType(element)) {
    case CTL_NO:
        return {};
    case CTL_CHECKBOX:
    case CTL_RADIO:
        return Value::Boolean(node->checked);
    case CTL_EDIT:
    case CTL_NUMERIC:
    case CTL_PASSWORD:
        return Value::String(
            Utf8ToUtf16(node->valueLive ? node->value : element.Attribute("value")));
    case CTL_TEXTAREA:
        return Value::String(Utf8ToUtf16(node->valueLive ? node->value : element.Text()));
    case CTL_SELECT_SINGLE:
    case CTL_SELECT_MULTIPLE: {
        const auto options = Options(element);
        for (const Element& option : options)
            if (option.node()->checked)
                return Value::String(Utf8ToUtf16(OptionValue(option)));
        // A single select with nothing chosen shows its first option, as a browser does.
        if (!options.empty() && ControlGetType(element) == CTL_SELECT_SINGLE)
            return Value::String(Utf8ToUtf16(OptionValue(options.front())));
        return Value::String({});
    }
    case CTL_HTMLAREA:
        return Value::String(Utf8ToUtf16(element.InnerHtml()));
    default:
        return Value::String(Utf8ToUtf16(element.Attribute("value")));
    }
}

bool ControlSetValue(Element& element, const Value& value) {
    switch (ControlGetType(element)) {
    case CTL_NO:
    case CTL_UNKNOWN:
        return false;
    case CTL_CHECKBOX:
        SetChecked(element, value.AsInt() != 0);
        return true;
    case CTL_RADIO:
        if (value.AsInt() != 0)
            CheckRadio(element);
        else
            SetChecked(element, false);
        return true;
    case CTL_SELECT_SINGLE:
    case CTL_SELECT_MULTIPLE: {
        const std::string wanted = Utf16ToUtf8(value.ToString());
        auto options = Options(element);
        Element chosen;
        for (const Element& option : options)
            if (OptionValue(option) == wanted) {
                chosen = option;
                break;
            }
        if (!chosen)
            return false;
        for (Element& option : options)
            option.node()->checked = option == chosen;
        if (Document* document = element.GetDocument())
            document->Record(PatchOp::Kind::Value, element.shared());
        return true;
    }
    case CTL_HTMLAREA:
        element.SetHtml(Utf16ToUtf8(value.ToString()));
        return true;
    case CTL_BUTTON:
    case CTL_PROGRESS:
        element.SetAttribute("value", Utf16ToUtf8(value.ToString()).c_str());
        return true;
    default:
        SetLiveValue(element, Utf16ToUtf8(value.ToString()));
        return true;
    }
}

void ApplyBrowserValue(Element& element, const std::string& text) {
    switch (ControlGetType(element)) {
    case CTL_SELECT_SINGLE:
    case CTL_SELECT_MULTIPLE:
        for (Element& option : Options(element))
            option.node()->checked = OptionValue(option) == text;
        break;
    case CTL_EDIT:
    case CTL_NUMERIC:
    case CTL_PASSWORD:
    case CTL_TEXTAREA:
        element.node()->value = text;
        element.node()->valueLive = true;
        break;
    default:
        break;
    }
}

void ApplyBrowserChecked(Element& element, bool checked) {
    const int type = ControlGetType(element);
    if (type == CTL_RADIO && checked) {
        // Others of the group follow silently: the browser turned them off already.
        const std::string name = element.Attribute("name");
        if (Document* document = element.GetDocument(); document && !name.empty())
            for (Element& other : document->Root().Select("input[type='radio']"))
                if (other.Attribute("name") == name)
                    other.node()->checked = false;
        element.node()->checked = true;
    } else if (type == CTL_CHECKBOX || type == CTL_RADIO) {
        element.node()->checked = checked;
    }
}

int Value::AsInt() const {
    switch (type) {
    case Type::Bool:
    case Type::Int:
        return number;
    case Type::String:
        return static_cast<int>(std::strtol(Utf16ToUtf8(text).c_str(), nullptr, 10));
    default:
        return 0;
    }
}

std::u16string Value::ToString() const {
    switch (type) {
    case Type::Bool:
        return number ? u"true" : u"false";
    case Type::Int:
        return AnsiToUtf16(std::to_string(number));
    case Type::String:
        return text;
    default:
        return {};
    }
}

} // namespace verdal::engine
