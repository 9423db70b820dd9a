// The engine's wire protocol: the JSON text messages between the program and the browser's
// page script (engine/web/) over the WebSocket, each kind a row below: its name on the wire, and
// its fields as a comment. The page
// script takes the names from these tables, through the module engine/protocol_module.h makes of
// them, and refuses to start if an operation lacks its handler.
//
// From the program: {"t": "state", "ops": [...]}, the whole state, to a browser that has just
// connected, and {"t": "patch", "ops": [...]}, what changed since the last one, to every
// browser that has the state. Each operation is an object whose field "o" holds its name.
//
// From the browser: one object per event, its field "t" holding its name. Element events carry
// the element's "id" (the data-v attribute the serializer gives it), the mouse position and the
// control's "value" or "checked" state, which the mirror takes before any handler runs.
#pragma once

#include <cstddef>
#include <string_view>

namespace verdal::engine::protocol {

inline constexpr std::string_view kStateMessage = "state";
inline constexpr std::string_view kPatchMessage = "patch";

enum class Op {
    View,      // a view's whole document (kind "window", "dialog" or "nested"; "band" is
               // [height, right margin] of a dialog's drag band)
    Close,     // a view is gone
    List,      // a list view's whole model: its styles as flags, and "colors" an object of CSS
               // colours: "background", "outer" and "inner" border, "top" and "bottom" of a
               // selected row's gradient
    Rows,      // a list view's rows from "start" on; "count" is the new number of rows
    Selection, // a list view's selected rows
    Inner,     // an element's content, as HTML
    Attribute, // an element's attribute; "value" null removes it
    Value,     // a form control's value
    Checked,   // a check box's or radio button's state
    Menu,      // a popup menu at page position x, y; items {id, text, sep, dis}
    MenuClose, // the popup menu closes without a choice
    Beep,      // the default beep
};

inline constexpr std::string_view kOperations[] = {
    "view",      // o hwnd kind order media width height band html
    "close",     // o hwnd
    "list",      // o hwnd singleSelect noHeader grid rowHeight columns rows sel colors
    "rows",      // o hwnd start count rows
    "sel",       // o hwnd sel
    "inner",     // o hwnd id html
    "attr",      // o hwnd id name value
    "value",     // o hwnd id value
    "checked",   // o hwnd id on
    "menu",      // o token x y items title
    "menuclose", // o
    "beep",      // o
};

enum class Message {
    Hello,          // the browser has connected; whether it asks for more contrast
    Click,          // an element was clicked
    Change,         // a select's choice changed
    Input,          // an edit's text changed
    Key,            // a key went down: "key" the key code, "modifiers" 1 control, 2 shift, 4 alt
    Size,           // a view's page needs w by h pixels
    ListSelection,  // the user changed a list view's selection
    ListRightClick, // a right click (or the menu key) on a list view's row "item", -1 none
    MenuChoice,     // the popup menu "token" was closed with the command "cmd", 0 none
};

inline constexpr std::string_view kMessages[] = {
    "hello",    // t contrast
    "click",    // t hwnd id x y value checked
    "change",   // t hwnd id x y value checked
    "input",    // t hwnd id x y value checked
    "key",      // t hwnd id key modifiers value checked
    "size",     // t hwnd w h
    "lvsel",    // t hwnd sel focus
    "lvrclick", // t hwnd item x y
    "menu",     // t token cmd
};

static_assert(std::size(kOperations) == static_cast<std::size_t>(Op::Beep) + 1);
static_assert(std::size(kMessages) == static_cast<std::size_t>(Message::MenuChoice) + 1);

constexpr std::string_view Name(Op op) {
    return kOperations[static_cast<std::size_t>(op)];
}

constexpr std::string_view Name(Message message) {
    return kMessages[static_cast<std::size_t>(message)];
}

// The message kind of a name; false for a name not in the table.
constexpr bool FindMessage(std::string_view name, Message& message) {
    for (std::size_t i = 0; i < std::size(kMessages); ++i)
        if (kMessages[i] == name) {
            message = static_cast<Message>(i);
            return true;
        }
    return false;
}

} // namespace verdal::engine::protocol
