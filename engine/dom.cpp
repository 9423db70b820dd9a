// The DOM mirror's tree: building it from gumbo's parse, reading and changing elements.
#include "engine/dom.h"
#include "platform/text.h"

#include <gumbo.h>

#include <algorithm>
#include <atomic>

namespace verdal::engine {

namespace {

std::atomic<std::uint32_t> nextUid{1};

std::string TagName(const GumboElement& element) {
    if (element.tag != GUMBO_TAG_UNKNOWN)
        return gumbo_normalized_tagname(element.tag);
    GumboStringPiece piece = element.original_tag;
    gumbo_tag_from_original_text(&piece);
    return AsciiLower(std::string_view(piece.data, piece.length));
}

std::shared_ptr<Node> Convert(const GumboNode* source) {
    auto node = std::make_shared<Node>();
    switch (source->type) {
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE: {
        const GumboElement& element = source->v.element;
        node->tag = TagName(element);
        for (unsigned i = 0; i < element.attributes.length; ++i) {
            auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
            node->attributes.emplace_back(AsciiLower(attribute->name), attribute->value);
        }
        for (unsigned i = 0; i < element.children.length; ++i) {
            auto* child = static_cast<const GumboNode*>(element.children.data[i]);
            if (auto converted = Convert(child))
                node->children.push_back(std::move(converted));
        }
        return node;
    }
    case GUMBO_NODE_TEXT:
    case GUMBO_NODE_WHITESPACE:
    case GUMBO_NODE_CDATA:
        node->kind = Node::Kind::Text;
        node->text = source->v.text.text;
        return node;
    default:
        return nullptr; // comments and the document node's doctype carry nothing we need
    }
}

// Initial live state from the markup: checked boxes, selected options.
void InitState(Node& node) {
    if (node.kind != Node::Kind::Element)
        return;
    auto has = [&](std::string_view name) {
        return std::any_of(node.attributes.begin(), node.attributes.end(),
                           [&](const auto& a) { return EqualsNoCase(a.first, name); });
    };
    if (node.tag == "input")
        node.checked = has("checked");
    else if (node.tag == "option")
        node.checked = has("selected");
    for (auto& child : node.children)
        InitState(*child);
}

void CollectText(const Node& node, std::string& out) {
    if (node.kind == Node::Kind::Text) {
        out += node.text;
        return;
    }
    for (const auto& child : node.children)
        CollectText(*child, out);
}

void Detach(Node& node) {
    node.parent = nullptr;
    node.document = nullptr;
    for (auto& child : node.children)
        Detach(*child);
}

} // namespace

void Adopt(Node& node, Document* document, Node* parent) {
    node.uid = nextUid++;
    node.document = document;
    node.parent = parent;
    for (auto& child : node.children)
        Adopt(*child, document, &node);
}

std::vector<std::shared_ptr<Node>> ParseFragment(std::string_view html, std::string_view context) {
    GumboOptions options = kGumboDefaultOptions;
    options.fragment_context =
        gumbo_tagn_enum(context.data(), static_cast<unsigned>(context.size()));
    if (options.fragment_context == GUMBO_TAG_UNKNOWN)
        options.fragment_context = GUMBO_TAG_DIV;
    options.fragment_namespace = GUMBO_NAMESPACE_HTML;
    GumboOutput* output = gumbo_parse_with_options(&options, html.data(), html.size());
    std::vector<std::shared_ptr<Node>> nodes;
    // A fragment's nodes are the children of the html element gumbo makes for the context.
    const GumboNode* root = output->root;
    for (unsigned i = 0; i < root->v.element.children.length; ++i) {
        if (auto node = Convert(static_cast<const GumboNode*>(root->v.element.children.data[i]))) {
            InitState(*node);
            nodes.push_back(std::move(node));
        }
    }
    gumbo_destroy_output(&options, output);
    return nodes;
}

Document::Document(std::string_view html) {
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
    root_ = Convert(output->root);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    InitState(*root_);
    Adopt(*root_, this, nullptr);
}

Document::~Document() {
    Detach(*root_);
}

Element Document::Head() const {
    return Root().SelectFirst("head");
}
Element Document::Body() const {
    return Root().SelectFirst("body");
}

void Document::Record(PatchOp::Kind kind, const std::shared_ptr<Node>& node, std::string name) {
    if (!patches_.empty()) {
        const PatchOp& last = patches_.back();
        if (last.kind == kind && last.name == name && last.node.lock() == node)
            return;
    }
    patches_.push_back(PatchOp{kind, node, std::move(name)});
    if (hook_)
        hook_(hookContext_);
}

std::vector<PatchOp> Document::TakePatches() {
    return std::exchange(patches_, {});
}

Document* Element::GetDocument() const {
    return node_ ? node_->document : nullptr;
}

std::string Element::Tag() const {
    return node_ && node_->kind == Node::Kind::Element ? node_->tag : std::string();
}

bool Element::GetAttribute(std::string_view name, std::string& value) const {
    value.clear();
    if (!node_)
        return false;
    for (const auto& [key, text] : node_->attributes) {
        if (EqualsNoCase(key, name)) {
            value = text;
            return true;
        }
    }
    return false;
}

std::string Element::Attribute(std::string_view name) const {
    std::string value;
    GetAttribute(name, value);
    return value;
}

bool Element::HasAttribute(std::string_view name) const {
    std::string ignored;
    return GetAttribute(name, ignored);
}

std::size_t Element::AttributeCount() const {
    return node_ ? node_->attributes.size() : 0;
}

bool Element::NthAttribute(std::size_t index, std::string& name, std::string& value) const {
    if (!node_ || index >= node_->attributes.size())
        return false;
    name = node_->attributes[index].first;
    value = node_->attributes[index].second;
    return true;
}

void Element::SetAttribute(std::string_view name, const char* value) {
    if (!node_ || node_->kind != Node::Kind::Element || name.empty())
        return;
    auto& attributes = node_->attributes;
    auto it = std::find_if(attributes.begin(), attributes.end(),
                           [&](const auto& a) { return EqualsNoCase(a.first, name); });
    if (!value) {
        if (it == attributes.end())
            return;
        attributes.erase(it);
    } else if (it == attributes.end()) {
        attributes.emplace_back(AsciiLower(name), value);
    } else {
        it->second = value;
    }
    const std::string key = AsciiLower(name);
    // The markup's value of an untouched text input follows its attribute, as in a browser.
    if (key == "value" && !node_->valueLive)
        node_->value = value ? value : "";
    if (node_->document)
        node_->document->Record(PatchOp::Kind::Attribute, node_, key);
}

std::string Element::Text() const {
    std::string out;
    if (node_)
        CollectText(*node_, out);
    return out;
}

void Element::SetText(std::string_view text) {
    if (!node_ || node_->kind != Node::Kind::Element)
        return;
    for (auto& child : node_->children)
        Detach(*child);
    node_->children.clear();
    auto textNode = std::make_shared<Node>();
    textNode->kind = Node::Kind::Text;
    textNode->text = std::string(text);
    Adopt(*textNode, node_->document, node_.get());
    node_->children.push_back(std::move(textNode));
    if (node_->tag == "textarea" && !node_->valueLive)
        node_->value = std::string(text);
    if (node_->document)
        node_->document->Record(PatchOp::Kind::Inner, node_);
}

std::string Element::InnerHtml() const {
    std::string out;
    if (node_) {
        for (const auto& child : node_->children)
            out += SerializePlain(*child);
    }
    return out;
}

std::string Element::OuterHtml() const {
    return node_ ? SerializePlain(*node_) : std::string();
}

void Element::SetHtml(std::string_view html, Where where) {
    if (!node_ || node_->kind != Node::Kind::Element)
        return;
    auto nodes = ParseFragment(html, node_->tag);
    if (where == Where::Replace) {
        for (auto& child : node_->children)
            Detach(*child);
        node_->children.clear();
    }
    for (auto& node : nodes)
        Adopt(*node, node_->document, node_.get());
    auto at = where == Where::Prepend ? node_->children.begin() : node_->children.end();
    node_->children.insert(at, nodes.begin(), nodes.end());
    if (node_->document)
        node_->document->Record(PatchOp::Kind::Inner, node_);
}

Element Element::Parent() const {
    if (!node_ || !node_->parent || !node_->document)
        return {};
    // The parent is alive as long as its child is in the tree: find its owning pointer.
    Node* parent = node_->parent;
    if (!parent->parent)
        return Element(node_->document->Root().shared());
    for (const auto& sibling : parent->parent->children) {
        if (sibling.get() == parent)
            return Element(sibling);
    }
    return {};
}

std::size_t Element::ChildCount() const {
    if (!node_)
        return 0;
    return static_cast<std::size_t>(
        std::count_if(node_->children.begin(), node_->children.end(),
                      [](const auto& child) { return child->kind == Node::Kind::Element; }));
}

Element Element::NthChild(std::size_t index) const {
    if (!node_)
        return {};
    for (const auto& child : node_->children) {
        if (child->kind != Node::Kind::Element)
            continue;
        if (index-- == 0)
            return Element(child);
    }
    return {};
}

} // namespace verdal::engine
