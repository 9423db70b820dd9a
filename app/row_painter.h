// The painter of the rows of both course lists: one process-wide object holding the colours of
// the selected look, and the cell texts drawn into a row's canvas.
//
// Threads: user-interface thread.
#pragma once

#include "engine/listview.h"

#include <string>
#include <vector>

namespace verdal {

class RowPainter {
public:
    // The one painter, made on first use.
    static const RowPainter& Instance();

    // The background (the window colour), the outer and inner borders and the gradient of a
    // selected row: the list view's own selected look.
    const engine::RowColors& Colors() const { return colors_; }

    // Draws texts[i] in column i of the row: each cell spans its header column, 2 px in from
    // its left edge, over the item's height.
    void PaintRow(HWND list, engine::DRAWITEMSTRUCT& draw,
                  const std::vector<std::u16string>& texts) const;

private:
    RowPainter() = default;
    engine::RowColors colors_;
};

} // namespace verdal
