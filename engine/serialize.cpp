// Writing the mirror back as HTML, inline style properties and element state bits.
#include "engine/dom.h"
#include "engine/form_controls.h"
#include "platform/text.h"

#include <algorithm>
#include <cctype>

namespace verdal::engine {

namespace {

bool IsVoid(std::string_view tag) {
    static constexpr std::string_view kVoid[] = {"area",  "base",   "br",    "col",  "embed",
                                                 "hr",    "img",    "input", "link", "meta",
                                                 "param", "source", "track", "wbr"};
    return std::find(std::begin(kVoid), std::end(kVoid), tag) != std::end(kVoid);
}

bool IsRawText(std::string_view tag) {
    return tag == "style" || tag == "script" || tag == "xmp" || tag == "noembed" ||
           tag == "noframes" || tag == "plaintext";
}

void Escape(std::string_view text, bool attribute, std::string& out) {
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += attribute ? "<" : "&lt;";
            break;
        case '>':
            out += attribute ? ">" : "&gt;";
            break;
        case '"':
            out += attribute ? "&quot;" : "\"";
            break;
        case '\xA0':
            out += '\xA0';
            break;
        default:
            out += c;
        }
    }
}

void WriteAttribute(std::string& out, std::string_view name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    Escape(value, true, out);
    out += '"';
}

void Write(const Node& node, bool forBrowser, std::string& out);

void WriteChildren(const Node& node, bool forBrowser, std::string& out) {
    if (IsRawText(node.tag)) {
        for (const auto& child : node.children)
            if (child->kind == Node::Kind::Text)
                out += child->text;
        return;
    }
    if (forBrowser && node.tag == "textarea") {
        if (node.valueLive) {
            Escape(node.value, false, out);
            return;
        }
        for (const auto& child : node.children)
            if (child->kind == Node::Kind::Text)
                Escape(child->text, false, out);
        return;
    }
    for (const auto& child : node.children)
        Write(*child, forBrowser, out);
}

void Write(const Node& node, bool forBrowser, std::string& out) {
    if (node.kind == Node::Kind::Text) {
        Escape(node.text, false, out);
        return;
    }
    // The browser never runs the pages' scripts: the program is the page's logic.
    if (forBrowser && node.tag == "script")
        return;
    out += '<';
    out += node.tag;
    if (forBrowser)
        WriteAttribute(out, "data-v", std::to_string(node.uid));
    const bool input = node.tag == "input";
    const bool option = node.tag == "option";
    for (const auto& [name, value] : node.attributes) {
        if (forBrowser) {
            if (name.size() > 2 && name.compare(0, 2, "on") == 0)
                continue;
            if ((input && name == "checked") || (option && name == "selected"))
                continue;
            if (input && name == "value" && node.valueLive)
                continue;
            // A nested view's frame shows the view, not what its address names.
            if (node.control && (name == "src" || name == "srcdoc"))
                continue;
            // A dialog's default and cancel buttons are roles of the pages' own, no ARIA roles: a
            // screen reader is told nothing false of them.
            if (name == "role" && (value == "default-button" || value == "cancel-button")) {
                WriteAttribute(out, "data-role", value);
                continue;
            }
        }
        WriteAttribute(out, name, value);
    }
    if (forBrowser) {
        if (input && node.valueLive)
            WriteAttribute(out, "value", node.value);
        if (input && node.checked)
            WriteAttribute(out, "checked", "");
        if (option && node.checked)
            WriteAttribute(out, "selected", "");
        if (node.control)
            WriteAttribute(out, "data-hwnd", std::to_string(node.control));
    }
    out += '>';
    if (IsVoid(node.tag))
        return;
    WriteChildren(node, forBrowser, out);
    out += "</";
    out += node.tag;
    out += '>';
}

std::string Trim(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsAsciiSpace(text[begin]))
        ++begin;
    while (end > begin && IsAsciiSpace(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

// The declarations of a style attribute as (property, value) pairs.
std::vector<std::pair<std::string, std::string>> ParseStyle(std::string_view style) {
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t pos = 0;
    while (pos < style.size()) {
        std::size_t end = style.find(';', pos);
        if (end == std::string_view::npos)
            end = style.size();
        std::string_view declaration = style.substr(pos, end - pos);
        const std::size_t colon = declaration.find(':');
        if (colon != std::string_view::npos) {
            const std::string name = AsciiLower(Trim(declaration.substr(0, colon)));
            if (!name.empty())
                out.emplace_back(name, Trim(declaration.substr(colon + 1)));
        }
        pos = end + 1;
    }
    return out;
}

} // namespace

std::string AttributeText(std::string_view text) {
    std::string out;
    Escape(text, true, out);
    return out;
}

std::string SerializePlain(const Node& node) {
    std::string out;
    Write(node, false, out);
    return out;
}

std::string SerializeForBrowser(const Node& node, bool withSelf) {
    std::string out;
    if (withSelf)
        Write(node, true, out);
    else
        WriteChildren(node, true, out);
    return out;
}

std::string Element::StyleProperty(std::string_view name) const {
    if (!node_ || node_->kind != Node::Kind::Element)
        return {};
    for (const auto& [property, value] : ParseStyle(Attribute("style"))) {
        if (EqualsNoCase(property, name))
            return value;
    }
    if (EqualsNoCase(name, "behavior"))
        return DefaultBehavior(*node_);
    return {};
}

void Element::SetStyleProperty(std::string_view name, std::string_view value) {
    if (!node_ || node_->kind != Node::Kind::Element)
        return;
    auto declarations = ParseStyle(Attribute("style"));
    auto it = std::find_if(declarations.begin(), declarations.end(),
                           [&](const auto& d) { return EqualsNoCase(d.first, name); });
    if (value.empty()) {
        if (it != declarations.end())
            declarations.erase(it);
    } else if (it == declarations.end()) {
        declarations.emplace_back(std::string(name), std::string(value));
    } else {
        it->second = std::string(value);
    }
    std::string style;
    for (const auto& [property, text] : declarations)
        style += property + ":" + text + ";";
    SetAttribute("style", style.c_str());
}

unsigned Element::State() const {
    if (!node_)
        return 0;
    unsigned state = 0;
    if (node_->checked)
        state |= STATE_CHECKED;
    if (HasAttribute("disabled"))
        state |= STATE_DISABLED;
    return state;
}

void Element::SetState(unsigned bitsToSet, unsigned bitsToClear) {
    if (!node_ || node_->kind != Node::Kind::Element)
        return;
    if (bitsToSet & STATE_DISABLED)
        SetAttribute("disabled", "");
    else if ((bitsToClear & STATE_DISABLED) && HasAttribute("disabled"))
        SetAttribute("disabled", nullptr);
    if (bitsToSet & STATE_CHECKED)
        ControlSetValue(*this, Value::Boolean(true));
    else if (bitsToClear & STATE_CHECKED)
        ControlSetValue(*this, Value::Boolean(false));
}

} // namespace verdal::engine
