// The DOM mirror: each window's document lives in the process as a tree of nodes built from the
// page's bytes, on which every element function runs synchronously. Changes are recorded as
// patch operations that the engine sends to the browser after each dispatched message.
//
// Threads: documents and element handles belong to the user-interface thread; no other thread
// may touch them.
#pragma once

#include "platform/window.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace verdal::engine {

class Document;

// Element state bits.
inline constexpr unsigned STATE_FOCUS = 0x8;
inline constexpr unsigned STATE_CHECKED = 0x40;
inline constexpr unsigned STATE_DISABLED = 0x80;

struct Node {
    enum class Kind { Element, Text };
    Kind kind = Kind::Element;
    std::uint32_t uid = 0; // stable number by which the browser knows the node
    std::string tag;       // lower case
    std::vector<std::pair<std::string, std::string>> attributes; // in document order
    std::string text;                                            // a text node's text (UTF-8)
    std::vector<std::shared_ptr<Node>> children;
    Node* parent = nullptr;
    Document* document = nullptr;
    bool checked = false;   // check boxes, radio buttons, options (selected)
    std::string value;      // live value of a text input or text area (UTF-8)
    bool valueLive = false; // value differs from the markup's default
    HWND control = 0;       // native window created for a widget element
};

// A use-counted handle to an element; a null handle means "no element". Copying takes a use,
// destruction gives it back; the node lives while a handle holds it, even after it was removed
// from its document.
class Element {
public:
    Element() = default;
    explicit Element(std::shared_ptr<Node> node) : node_(std::move(node)) {}

    explicit operator bool() const { return node_ != nullptr; }
    bool operator==(const Element& other) const { return node_ == other.node_; }
    Node* node() const { return node_.get(); }
    const std::shared_ptr<Node>& shared() const { return node_; }
    std::uint32_t Uid() const { return node_ ? node_->uid : 0; }

    // The element's document, or nullptr when it has none (null handle or removed element).
    Document* GetDocument() const;

    // Tag name in lower case; empty for a null handle.
    std::string Tag() const;

    // Attributes. Names compare without regard to ASCII case. GetAttribute answers false when
    // the attribute is missing (value left empty). SetAttribute with a null value removes it.
    bool GetAttribute(std::string_view name, std::string& value) const;
    std::string Attribute(std::string_view name) const; // empty when missing
    bool HasAttribute(std::string_view name) const;
    std::size_t AttributeCount() const;
    // The nth attribute (name, value); false past the end.
    bool NthAttribute(std::size_t index, std::string& name, std::string& value) const;
    void SetAttribute(std::string_view name, const char* value);

    // The text of the element and its descendants (UTF-8).
    std::string Text() const;
    // Replaces the element's content by one text node (UTF-8).
    void SetText(std::string_view text);

    // The content as HTML (UTF-8).
    std::string InnerHtml() const;
    std::string OuterHtml() const;
    enum class Where { Replace = 0, Prepend = 1, Append = 2 };
    // Parses the fragment in the element's context (options into a select) and puts it in.
    void SetHtml(std::string_view html, Where where = Where::Replace);

    // One CSS property of the inline style. "behavior" falls back to the default behaviour of
    // a form control ("button", "check", "radio", "edit", "select", ...) when not written.
    std::string StyleProperty(std::string_view name) const;
    void SetStyleProperty(std::string_view name, std::string_view value);

    // State bits: STATE_CHECKED (check boxes, radio buttons), STATE_DISABLED (the "disabled"
    // attribute). Setting checked on a radio button turns the others of its group off.
    unsigned State() const;
    void SetState(unsigned bitsToSet, unsigned bitsToClear);

    Element Parent() const;
    std::size_t ChildCount() const; // element children only
    Element NthChild(std::size_t index) const;

    // Every element below this one (not itself) matching the selector, in document order. The
    // selectors: a tag, "#id", ".class", "[name]", "[name='x']" (also "x" or unquoted), several
    // of these compounded, descendant combinations by spaces and lists by commas.
    std::vector<Element> Select(std::string_view selector) const;
    Element SelectFirst(std::string_view selector) const;
    // The first element below this one whose attribute has exactly this value.
    Element FindByAttribute(std::string_view name, std::string_view value) const;

private:
    std::shared_ptr<Node> node_;
};

// Patch operations recorded by a document, sent to the browser by the engine.
struct PatchOp {
    enum class Kind { Inner, Attribute, Value, Checked };
    Kind kind;
    std::weak_ptr<Node> node;
    std::string name; // attribute name
};

class Document {
public:
    // Builds the document from the page's bytes (UTF-8).
    explicit Document(std::string_view html);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    Element Root() const { return Element(root_); }
    Element Head() const;
    Element Body() const;

    // Patch recording; Take answers what was recorded since the last call.
    void Record(PatchOp::Kind kind, const std::shared_ptr<Node>& node, std::string name = {});
    std::vector<PatchOp> TakePatches();
    bool HasPatches() const { return !patches_.empty(); }

    // Called after every recorded change (the engine schedules a flush).
    void SetChangeHook(void (*hook)(void*), void* context) {
        hook_ = hook;
        hookContext_ = context;
    }

private:
    std::shared_ptr<Node> root_;
    std::vector<PatchOp> patches_;
    void (*hook_)(void*) = nullptr;
    void* hookContext_ = nullptr;
};

// Serialisation of nodes as the browser receives them: every element carries its number in a
// "data-v" attribute, controls carry their live value and state, scripts are left out.
std::string SerializeForBrowser(const Node& node, bool withSelf);
// Plain serialisation of a node as HTML, as the page would write it.
std::string SerializePlain(const Node& node);
// A text as the value of a double-quoted attribute: '&' and '"' escaped.
std::string AttributeText(std::string_view text);
// Parses a fragment in the context of the given tag; the nodes have no document yet.
std::vector<std::shared_ptr<Node>> ParseFragment(std::string_view html, std::string_view context);
// Attaches nodes (and their subtrees) to a document and numbers them.
void Adopt(Node& node, Document* document, Node* parent);

} // namespace verdal::engine
