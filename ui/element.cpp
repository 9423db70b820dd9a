// Element functions and named values over the engine's mirror.
#include "ui/element.h"

#include "engine/engine.h"
#include "engine/form_controls.h"
#include "platform/text.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace verdal {

using namespace engine;

Element RootElement(HWND hwnd) {
    return engine::ViewRoot(hwnd);
}

Element ElementById(const Element& element, std::u16string_view id) {
    return element.FindByAttribute("id", Utf16ToUtf8(id));
}

Element SelectFirst(const Element& element, const char* format, ...) {
    char selector[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(selector, sizeof selector, format, args);
    va_end(args);
    return element.SelectFirst(selector);
}

bool HasAttribute(const Element& element, std::string_view name) {
    return element.HasAttribute(name);
}

int IntAttribute(const Element& element, std::string_view name, int defaultValue) {
    std::string text;
    if (!element.GetAttribute(name, text) || text.empty())
        return defaultValue;
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

std::u16string GetAttribute(const Element& element, std::string_view name) {
    return Utf8ToUtf16(element.Attribute(name));
}

void SetAttribute(const Element& element, std::string_view name, const char16_t* value) {
    Element target = element;
    if (!value) {
        target.SetAttribute(name, nullptr);
        return;
    }
    target.SetAttribute(name, Utf16ToUtf8(value).c_str());
}

std::u16string GetText(const Element& element) {
    return Utf8ToUtf16(element.Text());
}

void SetText(const Element& element, const char16_t* text) {
    if (!text)
        return;
    Element target = element;
    target.SetText(Utf16ToUtf8(text));
}

void SetHtml(const Element& element, const char* html, std::size_t length, int where) {
    Element target = element;
    if (!html || length == 0) {
        target.SetHtml("", Element::Where::Replace);
        return;
    }
    const auto place = where == SIH_APPEND_AFTER_LAST ? Element::Where::Append
                       : where == SIH_INSERT_AT_START ? Element::Where::Prepend
                                                      : Element::Where::Replace;
    target.SetHtml(std::string_view(html, length), place);
}

std::string GetStyleAttribute(const Element& element, std::string_view name) {
    return element.StyleProperty(name);
}

void SetStyleAttribute(const Element& element, std::string_view name, std::string_view value) {
    Element target = element;
    target.SetStyleProperty(name, value);
}

unsigned GetElementState(const Element& element) {
    return element.State();
}

void SetElementState(const Element& element, unsigned bitsToSet, unsigned bitsToClear) {
    Element target = element;
    target.SetState(bitsToSet, bitsToClear);
}

bool SetNamedValues(const Element& root, const NamedValues& values) {
    bool set = false;
    for (const auto& [name, value] : values) {
        const std::string utf8 = Utf16ToUtf8(name);
        Element element = SelectFirst(root, "[name='%s']", utf8.c_str());
        if (!element || element.StyleProperty("behavior").empty())
            continue;
        switch (ControlGetType(element)) {
        case CTL_NO:
        case CTL_UNKNOWN:
        case CTL_BUTTON:
            break;
        case CTL_CHECKBOX: {
            char selector[2048];
            std::snprintf(selector, sizeof selector, "[type='checkbox'][name='%s']", utf8.c_str());
            auto group = element.Parent().Select(selector);
            if (group.size() == 1) {
                group[0].SetState(value.AsInt() ? STATE_CHECKED : 0,
                                  value.AsInt() ? 0 : STATE_CHECKED);
            } else {
                const unsigned mask = static_cast<unsigned>(value.AsInt());
                for (std::size_t i = 0; i < group.size(); ++i) {
                    const bool on = i < 32 && (mask >> i) & 1u;
                    group[i].SetState(on ? STATE_CHECKED : 0, on ? 0 : STATE_CHECKED);
                }
            }
            set = true;
            break;
        }
        case CTL_RADIO: {
            char selector[2048];
            std::snprintf(selector, sizeof selector, "[type='radio'][name='%s']", utf8.c_str());
            auto group = element.Parent().Select(selector);
            const int n = value.AsInt();
            if (n >= 0 && n < static_cast<int>(group.size()))
                ControlSetValue(group[static_cast<std::size_t>(n)], Value::Boolean(true));
            set = true;
            break;
        }
        case CTL_HTMLAREA: {
            const std::string html = Utf16ToUtf8(value.ToString());
            SetHtml(element, html.data(), html.size(), SIH_REPLACE_CONTENT);
            set = true;
            break;
        }
        default:
            ControlSetValue(element, value);
            set = true;
            break;
        }
    }
    return set;
}

NamedValues GetNamedValues(const Element& root) {
    NamedValues values;
    for (const Element& element : root.Select("[name]")) {
        const std::u16string name = Utf8ToUtf16(element.Attribute("name"));
        const int type = ControlGetType(element);
        if (values.count(name) || type == CTL_NO)
            continue;
        Value value;
        switch (type) {
        case CTL_UNKNOWN: {
            std::string kind;
            if (element.GetAttribute("type", kind) && kind == "hidden")
                value = Value::String(Utf8ToUtf16(element.Attribute("value")));
            break;
        }
        case CTL_BUTTON:
            value = Value::String(Utf8ToUtf16(element.Attribute("value")));
            break;
        case CTL_CHECKBOX:
        case CTL_RADIO: {
            char selector[2048];
            std::snprintf(selector, sizeof selector, "[type='%s'][name='%s']",
                          type == CTL_CHECKBOX ? "checkbox" : "radio",
                          element.Attribute("name").c_str());
            auto group = element.Parent().Select(selector);
            if (type == CTL_CHECKBOX && group.size() == 1) {
                value = Value::Boolean(group[0].State() & STATE_CHECKED);
            } else if (type == CTL_CHECKBOX) {
                std::uint32_t mask = 0;
                for (std::size_t i = 0; i < group.size() && i < 32; ++i)
                    if (group[i].State() & STATE_CHECKED)
                        mask |= std::uint32_t{1} << i;
                value = Value::Integer(static_cast<int>(mask));
            } else {
                for (std::size_t i = 0; i < group.size(); ++i)
                    if (group[i].State() & STATE_CHECKED) {
                        value = Value::Integer(static_cast<int>(i));
                        break;
                    }
            }
            break;
        }
        case CTL_HTMLAREA:
            value = Value::String(Utf8ToUtf16(element.InnerHtml()));
            break;
        default:
            value = ControlGetValue(element);
            break;
        }
        values.emplace(name, std::move(value));
    }
    return values;
}

std::string NamedText(const NamedValues& values, const char16_t* name) {
    const auto found = values.find(name);
    return found == values.end() ? std::string() : Utf16ToUtf8(found->second.ToString());
}

} // namespace verdal
