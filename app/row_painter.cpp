// The row painter of the course lists.
#include "app/row_painter.h"

namespace verdal {

using namespace engine;

const RowPainter& RowPainter::Instance() {
    static const RowPainter painter;
    return painter;
}

void RowPainter::PaintRow(HWND list, DRAWITEMSTRUCT& draw,
                          const std::vector<std::u16string>& texts) const {
    if (!draw.hDC)
        return;
    for (std::size_t column = 0; column < texts.size(); ++column) {
        RECT cell;
        SendMessage(list, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&cell));
        cell.top = draw.rcItem.top;
        cell.bottom = draw.rcItem.bottom;
        cell.left += 2;
        draw.hDC->DrawText(cell, texts[column]);
    }
}

} // namespace verdal
