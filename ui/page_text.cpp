// Finding a page's and a menu's texts, and translating them.
#include "ui/page_text.h"

#include "platform/language.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace verdal {

using engine::Node;

namespace {

constexpr std::array<std::string_view, 4> kTextAttributes{"aria-label", "title", "alt",
                                                          "placeholder"};

bool HasLetter(std::string_view text) {
    // Any byte of a UTF-8 sequence counts: scripts beyond ASCII are letters here.
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x80 || static_cast<unsigned>((byte | 0x20) - 'a') < 26u;
    });
}

// The text with its blanks around it kept in place.
void RewriteText(std::string& text, const std::function<std::string(const std::string&)>& visit) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsAsciiSpace(text[begin]))
        ++begin;
    while (end > begin && IsAsciiSpace(text[end - 1]))
        --end;
    const std::string core = text.substr(begin, end - begin);
    if (!HasLetter(core))
        return;
    const std::string rewritten = visit(core);
    if (rewritten != core)
        text = text.substr(0, begin) + rewritten + text.substr(end);
}

std::string* AttributeValue(Node& node, std::string_view name) {
    for (auto& [key, value] : node.attributes)
        if (EqualsNoCase(key, name))
            return &value;
    return nullptr;
}

void Rewrite(Node& node, const std::function<std::string(const std::string&)>& visit) {
    if (node.kind == Node::Kind::Text) {
        RewriteText(node.text, visit);
        return;
    }
    if (node.tag == "head" || node.tag == "script" || node.tag == "style")
        return;
    if (const std::string* translate = AttributeValue(node, "translate");
        translate && EqualsNoCase(*translate, "no"))
        return;
    for (std::string_view name : kTextAttributes)
        if (std::string* value = AttributeValue(node, name))
            RewriteText(*value, visit);
    if (node.tag == "input") {
        const std::string* type = AttributeValue(node, "type");
        std::string* value = AttributeValue(node, "value");
        if (type && value &&
            (EqualsNoCase(*type, "button") || EqualsNoCase(*type, "submit") ||
             EqualsNoCase(*type, "reset")))
            RewriteText(*value, visit);
    }
    for (const auto& child : node.children)
        Rewrite(*child, visit);
}

std::string Translated(const std::string& text) {
    return Tr(text.c_str());
}

} // namespace

void RewritePageTexts(const engine::Element& root,
                      const std::function<std::string(const std::string&)>& visit) {
    if (Node* node = root.node())
        Rewrite(*node, visit);
}

void RewriteMenuTexts(engine::Menu& menu,
                      const std::function<std::string(const std::string&)>& visit) {
    const auto rewrite = [&](std::u16string& text) {
        std::string utf8 = Utf16ToUtf8(text);
        const std::string before = utf8;
        RewriteText(utf8, visit);
        if (utf8 != before)
            text = Utf8ToUtf16(utf8);
    };
    rewrite(menu.title);
    for (engine::MenuItem& item : menu.items)
        if (!item.separator)
            rewrite(item.text);
    for (engine::Menu& popup : menu.popups)
        RewriteMenuTexts(popup, visit);
}

void TranslatePage(const engine::Element& root) {
    if (!root)
        return;
    RewritePageTexts(root, Translated);
    const std::string language = MessagesLanguage();
    if (std::string* lang = AttributeValue(*root.node(), "lang"))
        *lang = language;
    else
        root.node()->attributes.emplace_back("lang", language);
}

void TranslateMenu(engine::Menu& menu) {
    RewriteMenuTexts(menu, Translated);
}

} // namespace verdal
