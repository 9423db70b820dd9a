// Native controls that pages place with `widget` elements: the style keyword tables, the style
// built from an element's bare keyword attributes, and the windows created for each type.
//
// Threads: user-interface thread.
#pragma once

#include "engine/dom.h"
#include "platform/window.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace verdal {

struct StyleKeyword {
    const char* keyword; // an attribute name; its value is never read
    std::uint32_t bits;
};
using StyleKeywordTable = std::span<const StyleKeyword>;

extern const StyleKeywordTable kWindowStyleKeywords;   // default 0x56010000
extern const StyleKeywordTable kExtendedStyleKeywords; // default 0
extern const StyleKeywordTable kDateTimeKeywords;
extern const StyleKeywordTable kCalendarKeywords;
extern const StyleKeywordTable kListBoxKeywords;
extern const StyleKeywordTable kStaticKeywords;
extern const StyleKeywordTable kEditKeywords;
extern const StyleKeywordTable kComboBoxKeywords;
extern const StyleKeywordTable kListViewKeywords;
extern const StyleKeywordTable kListViewExtendedKeywords;

inline constexpr std::uint32_t kDefaultWidgetStyle = 0x56010000;

// The widget types a page may place: the "type" attribute (compared case-sensitively), the
// window class made for it, the keyword table of its own styles (nullptr: none), and whether
// the window system knows the class (it does not know "AtlAxWin80": such a widget gets no
// window).
struct WidgetType {
    std::string_view type;
    std::string_view className;
    const StyleKeywordTable* keywords;
    bool registered;
};
// The row of a widget type; nullptr for a type not in the table.
const WidgetType* FindWidgetType(std::string_view type);

// The default OR the bits of every keyword of the table that the element carries as an
// attribute (names compare without regard to ASCII case).
std::uint32_t StyleFromKeywords(const engine::Element& element, StyleKeywordTable table,
                                std::uint32_t defaultBits);

// A native window made for a widget. The window system's stand-ins draw nothing except the
// list view ("SysListView32"), which is the engine's.
struct NativeWindowInfo {
    std::string className;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    int controlId = 0;
};

// Creates a child window of a class of the widget table, or answers 0 when the class is not
// registered there. The window object lives until the window is destroyed.
HWND CreateNativeWindow(std::string_view className, std::uint32_t style, std::uint32_t exStyle,
                        HWND parent, int controlId);
// What a window made by CreateNativeWindow was made with; false for any other handle.
bool GetNativeWindowInfo(HWND hwnd, NativeWindowInfo& info);

} // namespace verdal
