// Setting up owner-drawn report lists and their items through the list view's messages.
#include "ui/list_rows.h"

namespace verdal {

using namespace engine;

bool OwnerDrawRows(HWND list, unsigned rowHeight, PaintListRow paint) {
    return SubclassListView(list, [rowHeight, paint = std::move(paint)](HWND hwnd, UINT message,
                                                                        WPARAM, LPARAM lParam,
                                                                        LRESULT& result) {
        if (message == OCM_BASE + WM_MEASUREITEM)
            reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = rowHeight;
        else if (message == OCM_BASE + WM_DRAWITEM)
            paint(hwnd, *reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        else
            return false;
        result = 1;
        return true;
    });
}

void InsertColumns(HWND list, std::initializer_list<ListColumn> columns) {
    WPARAM index = 0;
    for (const ListColumn& column : columns) {
        LVCOLUMNW info{.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT,
                       .fmt = LVCFMT_LEFT,
                       .cx = column.width,
                       .pszText = column.heading};
        SendMessage(list, LVM_INSERTCOLUMNW, index++, reinterpret_cast<LPARAM>(&info));
    }
}

int AppendListItem(HWND list, LPARAM data) {
    LVITEMW item{.mask = LVIF_PARAM,
                 .iItem = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT)),
                 .lParam = data};
    return static_cast<int>(SendMessage(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

LPARAM ListItemData(HWND list, int index) {
    LVITEMW item{.mask = LVIF_PARAM, .iItem = index};
    if (!SendMessage(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return item.lParam;
}

} // namespace verdal
