// Popup menus drawn by the browser: entries with a command id and a text, separators, and
// disabled entries. The choice reaches the owner window as WM_COMMAND (low word the command
// id, high word 0, lParam 0); closing the menu without a choice sends nothing.
//
// Threads: user-interface thread.
#pragma once

#include "platform/window.h"

#include <string>
#include <vector>

namespace verdal::engine {

inline constexpr unsigned MF_ENABLED = 0x0;
inline constexpr unsigned MF_GRAYED = 0x1;
inline constexpr unsigned MF_DISABLED = 0x2;
inline constexpr unsigned MF_BYCOMMAND = 0x0;
inline constexpr unsigned MF_BYPOSITION = 0x400;
inline constexpr unsigned TPM_LEFTBUTTON = 0x0;

struct MenuItem {
    unsigned id = 0;
    std::u16string text;
    bool separator = false;
    bool disabled = false;
};

struct Menu {
    std::u16string title;
    std::vector<MenuItem> items;
    std::vector<Menu> popups; // a menu bar's popups; a popup itself has none
};

// Enables or disables the entry with the command id (MF_BYCOMMAND) or at the position
// (MF_BYPOSITION); flags MF_DISABLED or MF_GRAYED disable it. Answers the previous state
// (MF_ENABLED or MF_DISABLED), or -1 when there is no such entry.
int EnableMenuItem(Menu& menu, unsigned item, unsigned flags);

// Shows the popup in the browser at the position (page pixels); the choice is posted to the
// owner as WM_COMMAND. Returns at once; false when the menu has no entry or the owner is no
// window. A menu shown before and still open is replaced.
bool TrackPopupMenu(const Menu& popup, unsigned flags, int x, int y, HWND owner);

} // namespace verdal::engine
