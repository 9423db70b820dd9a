// Form controls of the mirror: their type codes and values.
//
// An element is a control when it has a behaviour: written as the CSS property "behavior" in
// its style, or the default behaviour of its tag and type (see Element::StyleProperty).
// User-interface thread only.
#pragma once

#include "engine/dom.h"
#include "engine/value.h"

namespace verdal::engine {

enum ControlTypeCode : int {
    CTL_NO = 0,      // not a control
    CTL_UNKNOWN = 1, // a behaviour without a value of its own (hidden inputs, ...)
    CTL_EDIT = 2,    // text input
    CTL_NUMERIC = 3, // input type "number"
    CTL_BUTTON = 4,  // buttons and button inputs
    CTL_CHECKBOX = 5,
    CTL_RADIO = 6,
    CTL_SELECT_MULTIPLE = 7, // select with "multiple"
    CTL_SELECT_SINGLE = 8,   // select
    CTL_TEXTAREA = 9,
    CTL_PASSWORD = 10,
    CTL_HTMLAREA = 11, // an element with behavior:htmlarea; its value is its HTML
    CTL_PROGRESS = 12,
};

// The default behaviour name of an element ("" when it is no control by its markup).
std::string DefaultBehavior(const Node& node);

// The control type of an element; CTL_NO for a null handle.
int ControlGetType(const Element& element);

// The current value: text for edits, text areas and selects (the chosen option's value, or its
// text when it has no "value"); a boolean for check boxes and radio buttons; the "value"
// attribute as text for buttons, generic controls and progress bars; the HTML for HTML areas.
Value ControlGetValue(const Element& element);

// Sets the value: text (or any value as text) into edits, text areas and progress bars; the
// option whose value equals the text becomes the chosen one of a select (none matching:
// nothing changes); a boolean or integer turns a check box or radio button on or off (a radio
// button turned on turns the others of its group off); HTML into an HTML area. False when the
// element is no control or the value does not fit it.
bool ControlSetValue(Element& element, const Value& value);

// Values coming from the browser (UTF-8 text; "checked" for check boxes and radios).
void ApplyBrowserValue(Element& element, const std::string& text);
void ApplyBrowserChecked(Element& element, bool checked);

} // namespace verdal::engine
