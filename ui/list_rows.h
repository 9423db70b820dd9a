// Owner-drawn report lists as the program's pages use them: rows of one height painted by the
// window that holds the list, columns of a heading and a width, and items that each carry one
// value (an index or a pointer) for the painter to look up.
//
// Threads: user-interface thread only.
#pragma once

#include "engine/listview.h"
#include "platform/window.h"

#include <functional>
#include <initializer_list>

namespace verdal {

// Paints one row: draw names the row, its rectangle, its item data and the canvas to draw on.
using PaintListRow = std::function<void(HWND list, engine::DRAWITEMSTRUCT& draw)>;

struct ListColumn {
    const char16_t* heading;
    int width; // pixels
};

// Subclasses the list so that every row is rowHeight pixels high and painted by paint. False
// when the handle is no list view.
bool OwnerDrawRows(HWND list, unsigned rowHeight, PaintListRow paint);
// Gives a list that has no columns yet these, in order, their text aligned left.
void InsertColumns(HWND list, std::initializer_list<ListColumn> columns);
// Adds an item at the end of the list that carries data; answers its index, -1 on failure.
int AppendListItem(HWND list, LPARAM data);
// The data the list's item at index carries; 0 when there is no such item.
LPARAM ListItemData(HWND list, int index);

} // namespace verdal
