// Lays a dialog template out on character cells. Dialog units do not map
// onto a terminal one for one: a cell is about 4 units wide and 8 high, but
// every control takes one whole row, texts need their full width and group
// boxes need a row for each border. The layout keeps the template's
// arrangement (what is left of, above or inside what) and its proportions as
// far as the space allows, and pushes apart whatever would collide. Where
// room is short, a group box may start on the bottom border of the one above
// it (the two frames then share that row).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "ui/DialogLayout.h"

namespace ui::terminal {

// Cells covered by one control, relative to the dialog's client area.
struct CellRect {
    int row = 0;
    int col = 0;
    int rows = 0;
    int cols = 0;

    int Bottom() const { return row + rows - 1; }
    int Right() const { return col + cols - 1; }
    bool Contains(int r, int c) const { return r >= row && r <= Bottom() && c >= col && c <= Right(); }
};

struct TerminalLayout {
    bool fits = false;
    int rows = 0;  // rows and columns actually used
    int cols = 0;
    std::vector<CellRect> cells;  // one per control of the template, same order
};

// Number of terminal cells a UTF-8 text takes (one per code point; the
// program's texts are Latin letters).
int DisplayWidth(std::string_view utf8);

// The narrowest a control can be drawn with its whole text visible.
int MinimumColumns(const ControlTemplate& control);

// True when the template puts `inner` completely inside group box `outer`.
bool GroupContains(const ControlTemplate& outer, const ControlTemplate& inner);

// The layout of `dialog` within maxColumns x maxRows cells, or fits == false
// when it cannot be made to fit.
[[nodiscard]] TerminalLayout ComputeTerminalLayout(const DialogTemplate& dialog, int maxColumns, int maxRows);

// Indices of the tab-stop controls, in tab order (the table's order).
std::vector<std::size_t> TabOrder(const DialogTemplate& dialog);

// Index of the next (forward) or previous tab stop after `current` whose
// control `usable` accepts, wrapping round; npos when none is usable.
// `current` may be npos (start from the beginning or the end).
template <typename Usable>
std::size_t NextTabStop(const std::vector<std::size_t>& order, std::size_t current, bool forward, Usable usable) {
    const std::size_t n = order.size();
    std::size_t position = n;
    for (std::size_t i = 0; i < n; ++i)
        if (order[i] == current) position = i;
    for (std::size_t step = 1; step <= n; ++step) {
        std::size_t i;
        if (position == n) i = forward ? step - 1 : n - step;
        else i = forward ? (position + step) % n : (position + n - step) % n;
        if (usable(order[i])) return order[i];
    }
    return static_cast<std::size_t>(-1);
}

}  // namespace ui::terminal
