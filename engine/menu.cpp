// Popup menus: entries enabled and disabled by command or position, and the menu shown by the
// browser until the user chooses or closes it.
#include "engine/internal.h"

namespace verdal::engine {

int EnableMenuItem(Menu& menu, unsigned item, unsigned flags) {
    MenuItem* target = nullptr;
    if (flags & MF_BYPOSITION) {
        if (item < menu.items.size())
            target = &menu.items[item];
    } else {
        for (auto& entry : menu.items)
            if (!entry.separator && entry.id == item)
                target = &entry;
    }
    if (!target)
        return -1;
    const int previous =
        target->disabled ? static_cast<int>(MF_DISABLED) : static_cast<int>(MF_ENABLED);
    target->disabled = (flags & (MF_DISABLED | MF_GRAYED)) != 0;
    return previous;
}

bool TrackPopupMenu(const Menu& popup, unsigned, int x, int y, HWND owner) {
    if (popup.items.empty() || !IsWindow(owner))
        return false;
    EngineState& s = State();
    s.menuToken += 1;
    s.menuOwner = owner;
    s.openMenu = MenuOnScreen{s.menuToken, x, y, popup};
    s.notices.push_back(Notice{protocol::Op::Menu, s.openMenu});
    MarkDirty();
    return true;
}

} // namespace verdal::engine
