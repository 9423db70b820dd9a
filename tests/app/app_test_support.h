// What the application's tests share: a data folder of their own, a port search that finds no
// device, and reading the main page.
#pragma once

#include "engine/listview.h"
#include "platform/window.h"
#include "tests/support/message_recorder.h"
#include "ui/element.h"

#include <string>
#include <vector>

namespace verdal::test {

// The text of the element with the id on the window's page.
std::u16string TextOf(HWND window, const char16_t* id);
// Whether the element is shown (its display is not "none") and whether it is disabled.
bool Shown(HWND window, const char16_t* id);
bool Disabled(HWND window, const char16_t* id);

// Selects the list view's row.
void Select(HWND list, int index);

// The cell texts of each row of a list view, as its painter draws them.
std::vector<std::vector<std::u16string>> PaintedRows(HWND list, int columns);

} // namespace verdal::test
