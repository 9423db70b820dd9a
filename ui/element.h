// The element functions through which the program reads and changes a page. A missing element
// gives a null handle or an empty result, never a failure. Handles (engine::Element) are
// use-counted: copies take a use, destruction gives it back.
//
// Threads: user-interface thread only; workers post messages instead.
#pragma once

#include "engine/dom.h"
#include "engine/value.h"
#include "platform/window.h"

#include <map>
#include <string>
#include <string_view>

namespace verdal {

using engine::Element;
using engine::Value;

// Control names to values, sorted by name.
using NamedValues = std::map<std::u16string, Value>;

// The root element of the page shown by the window; null when it shows none.
Element RootElement(HWND hwnd);

// The first element below the given one, at any depth, whose "id" is exactly this text.
Element ElementById(const Element& element, std::u16string_view id);

// Formats a CSS selector with printf rules (UTF-8 arguments; results longer than 2047 bytes are
// cut) and answers the first matching element below the given one.
Element SelectFirst(const Element& element, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// True when the element has an attribute of this name, compared without regard to ASCII case;
// the value does not matter.
bool HasAttribute(const Element& element, std::string_view name);

// The attribute's text read as a decimal integer (its leading digits; none gives 0); the
// default when the attribute is missing or empty.
int IntAttribute(const Element& element, std::string_view name, int defaultValue);

// The attribute as UTF-16 text (empty when missing); setting a null text removes it.
std::u16string GetAttribute(const Element& element, std::string_view name);
void SetAttribute(const Element& element, std::string_view name, const char16_t* value);

// The element's text (UTF-16).
std::u16string GetText(const Element& element);
// Replaces the element's text; a null text leaves it unchanged.
void SetText(const Element& element, const char16_t* text);

// Puts UTF-8 HTML into the element: where 0 replaces the content, 2 appends after the last
// child (1 puts it before the first). A null or empty text empties the element.
inline constexpr int SIH_REPLACE_CONTENT = 0;
inline constexpr int SIH_INSERT_AT_START = 1;
inline constexpr int SIH_APPEND_AFTER_LAST = 2;
void SetHtml(const Element& element, const char* html, std::size_t length, int where);

// One CSS property of the element's style (UTF-8), read or set.
std::string GetStyleAttribute(const Element& element, std::string_view name);
void SetStyleAttribute(const Element& element, std::string_view name, std::string_view value);

// State bits (engine::STATE_CHECKED 64, engine::STATE_DISABLED).
unsigned GetElementState(const Element& element);
void SetElementState(const Element& element, unsigned bitsToSet, unsigned bitsToClear);

// Sets the named controls below root: for each name in order, the first element named so that
// has a behaviour; check box groups take a boolean (one member) or a bit mask (member i checked
// when bit i is set), radio groups turn member n on (outside the group: nothing), HTML areas
// take the value as HTML, other controls the value. True when at least one element was set.
bool SetNamedValues(const Element& root, const NamedValues& values);

// Reads every named control below root, the first element of a name winning: hidden inputs
// their "value" (other generic controls an empty value), buttons their "value", check box
// groups a bit mask (a boolean for a group of one), radio groups the index of the first member
// that is on (an empty value when none is), HTML areas their HTML, others their value.
NamedValues GetNamedValues(const Element& root);

// The value of the named control in UTF-8, as text; empty when there is no such name.
std::string NamedText(const NamedValues& values, const char16_t* name);

} // namespace verdal
