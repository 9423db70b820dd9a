// CSS selectors over the mirror: tags, ids, classes, attribute presence and equality, compound
// and descendant selectors, lists.
#include "engine/dom.h"
#include "platform/text.h"

#include <cctype>
#include <functional>

namespace verdal::engine {

namespace {

struct Simple {
    enum class Kind { Tag, Id, Class, HasAttr, AttrEquals, Any };
    Kind kind;
    std::string name;
    std::string value;
};
using Compound = std::vector<Simple>;
using Complex = std::vector<Compound>; // descendant chain, outermost first

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Parses one selector list; an unreadable selector gives an empty list (matches nothing).
std::vector<Complex> Parse(std::string_view text) {
    std::vector<Complex> list;
    Complex current;
    Compound compound;
    std::size_t i = 0;
    auto endCompound = [&] {
        if (!compound.empty())
            current.push_back(std::move(compound));
        compound.clear();
    };
    auto readName = [&] {
        const std::size_t start = i;
        while (i < text.size() && IsNameChar(text[i]))
            ++i;
        return std::string(text.substr(start, i - start));
    };
    while (i < text.size()) {
        const char c = text[i];
        if (IsAsciiSpace(c) || c == '>') {
            endCompound();
            ++i;
        } else if (c == ',') {
            endCompound();
            if (!current.empty())
                list.push_back(std::move(current));
            current.clear();
            ++i;
        } else if (c == '*') {
            compound.push_back({Simple::Kind::Any, {}, {}});
            ++i;
        } else if (c == '#' || c == '.') {
            ++i;
            std::string name = readName();
            if (name.empty())
                return {};
            compound.push_back({c == '#' ? Simple::Kind::Id : Simple::Kind::Class, name, {}});
        } else if (c == '[') {
            ++i;
            while (i < text.size() && text[i] == ' ')
                ++i;
            std::string name = readName();
            while (i < text.size() && text[i] == ' ')
                ++i;
            if (name.empty() || i >= text.size())
                return {};
            if (text[i] == ']') {
                ++i;
                compound.push_back({Simple::Kind::HasAttr, name, {}});
                continue;
            }
            if (text[i] != '=')
                return {};
            ++i;
            while (i < text.size() && text[i] == ' ')
                ++i;
            std::string value;
            if (i < text.size() && (text[i] == '\'' || text[i] == '"')) {
                const char quote = text[i++];
                const std::size_t close = text.find(quote, i);
                if (close == std::string_view::npos)
                    return {};
                value = std::string(text.substr(i, close - i));
                i = close + 1;
            } else {
                const std::size_t close = text.find(']', i);
                if (close == std::string_view::npos)
                    return {};
                value = std::string(text.substr(i, close - i));
                while (!value.empty() && value.back() == ' ')
                    value.pop_back();
                i = close;
            }
            while (i < text.size() && text[i] == ' ')
                ++i;
            if (i >= text.size() || text[i] != ']')
                return {};
            ++i;
            compound.push_back({Simple::Kind::AttrEquals, name, value});
        } else if (IsNameChar(c)) {
            compound.push_back({Simple::Kind::Tag, readName(), {}});
        } else {
            return {};
        }
    }
    endCompound();
    if (!current.empty())
        list.push_back(std::move(current));
    return list;
}

bool MatchesSimple(const Node& node, const Simple& simple) {
    // A non-owning handle: the node is alive for the whole match.
    Element element(std::shared_ptr<Node>(std::shared_ptr<Node>(), const_cast<Node*>(&node)));
    switch (simple.kind) {
    case Simple::Kind::Any:
        return true;
    case Simple::Kind::Tag:
        return EqualsNoCase(node.tag, simple.name);
    case Simple::Kind::Id:
        return element.Attribute("id") == simple.name;
    case Simple::Kind::Class: {
        const std::string classes = " " + element.Attribute("class") + " ";
        return classes.find(" " + simple.name + " ") != std::string::npos;
    }
    case Simple::Kind::HasAttr:
        return element.HasAttribute(simple.name);
    case Simple::Kind::AttrEquals: {
        std::string value;
        return element.GetAttribute(simple.name, value) && value == simple.value;
    }
    }
    return false;
}

bool MatchesCompound(const Node& node, const Compound& compound) {
    for (const auto& simple : compound)
        if (!MatchesSimple(node, simple))
            return false;
    return true;
}

// The last compound matches the node; the earlier ones match ancestors below the scope.
bool Matches(const Node& node, const Complex& complex, const Node* scope) {
    if (!MatchesCompound(node, complex.back()))
        return false;
    int index = static_cast<int>(complex.size()) - 2;
    for (const Node* ancestor = node.parent; index >= 0 && ancestor && ancestor != scope;
         ancestor = ancestor->parent) {
        if (MatchesCompound(*ancestor, complex[static_cast<std::size_t>(index)]))
            --index;
    }
    return index < 0;
}

// Walks below root in document order until visit answers false.
bool WalkUntil(const std::shared_ptr<Node>& node,
               const std::function<bool(const std::shared_ptr<Node>&)>& visit) {
    for (const auto& child : node->children) {
        if (child->kind != Node::Kind::Element)
            continue;
        if (!visit(child) || !WalkUntil(child, visit))
            return false;
    }
    return true;
}

} // namespace

std::vector<Element> Element::Select(std::string_view selector) const {
    std::vector<Element> out;
    if (!node_)
        return out;
    const auto list = Parse(selector);
    if (list.empty())
        return out;
    WalkUntil(node_, [&](const std::shared_ptr<Node>& node) {
        for (const auto& complex : list) {
            if (Matches(*node, complex, node_.get())) {
                out.emplace_back(node);
                break;
            }
        }
        return true;
    });
    return out;
}

Element Element::SelectFirst(std::string_view selector) const {
    Element found;
    if (!node_)
        return found;
    const auto list = Parse(selector);
    if (list.empty())
        return found;
    WalkUntil(node_, [&](const std::shared_ptr<Node>& node) {
        for (const auto& complex : list) {
            if (Matches(*node, complex, node_.get())) {
                found = Element(node);
                return false;
            }
        }
        return true;
    });
    return found;
}

Element Element::FindByAttribute(std::string_view name, std::string_view value) const {
    Element found;
    if (!node_)
        return found;
    WalkUntil(node_, [&](const std::shared_ptr<Node>& node) {
        std::string text;
        if (Element(node).GetAttribute(name, text) && text == value) {
            found = Element(node);
            return false;
        }
        return true;
    });
    return found;
}

} // namespace verdal::engine
