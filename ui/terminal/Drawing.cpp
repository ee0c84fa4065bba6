#include "ui/terminal/Drawing.h"

#include <algorithm>
#include <map>
#include <utility>

namespace ui::terminal {

int Lower(int c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

bool IsButton(const ControlTemplate& c) {
    return c.kind == ControlKind::PushButton || c.kind == ControlKind::DefaultPushButton;
}

std::vector<std::string> Cells(std::string_view utf8) {
    std::vector<std::string> cells;
    for (const char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 || cells.empty()) cells.emplace_back(1, c);
        else cells.back() += c;
    }
    return cells;
}

std::string Join(const std::vector<std::string>& cells, std::size_t from, std::size_t count) {
    std::string out;
    for (std::size_t i = from; i < from + count && i < cells.size(); ++i) out += cells[i];
    return out;
}

std::string Repeat(std::string_view s, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += s;
    return out;
}

void PutWithMnemonic(Terminal& terminal, int row, int col, std::string_view display, std::size_t mnemonicByte,
                     unsigned attributes) {
    if (mnemonicByte == std::string::npos || mnemonicByte >= display.size()) {
        terminal.Put(row, col, display, attributes);
        return;
    }
    const std::string_view before = display.substr(0, mnemonicByte);
    const std::vector<std::string> rest = Cells(display.substr(mnemonicByte));
    terminal.Put(row, col, before, attributes);
    const int at = col + DisplayWidth(before);
    terminal.Put(row, at, rest.front(), attributes | ATTR_UNDERLINE);
    terminal.Put(row, at + 1, Join(rest, 1, rest.size()), attributes);
}

void DrawFrame(Terminal& t, const CellRect& r, std::string_view title, unsigned attr) {
    if (r.rows < 2 || r.cols < 2) return;
    const int inner = r.cols - 2;
    t.Put(r.row, r.col, "┌" + Repeat("─", inner) + "┐", attr);
    for (int row = r.row + 1; row < r.Bottom(); ++row) {
        t.Put(row, r.col, "│", attr);
        t.Put(row, r.Right(), "│", attr);
    }
    t.Put(r.Bottom(), r.col, "└" + Repeat("─", inner) + "┘", attr);
    if (!title.empty()) {
        const std::vector<std::string> cells = Cells(title);
        t.Put(r.row, r.col + 1, Join(cells, 0, static_cast<std::size_t>(inner)), attr);
    }
}

void DrawJoinedFrames(Terminal& t, const std::vector<CellRect>& frames, int rowOffset) {
    enum : unsigned { UP = 1, DOWN = 2, LEFT = 4, RIGHT = 8 };
    std::map<std::pair<int, int>, unsigned> lines;
    for (const CellRect& r : frames) {
        if (r.rows < 2 || r.cols < 2) continue;
        for (int col = r.col; col <= r.Right(); ++col) {
            const unsigned across = (col > r.col ? LEFT : 0u) | (col < r.Right() ? RIGHT : 0u);
            lines[{r.row, col}] |= across | (col == r.col || col == r.Right() ? DOWN : 0u);
            lines[{r.Bottom(), col}] |= across | (col == r.col || col == r.Right() ? UP : 0u);
        }
        for (int row = r.row + 1; row < r.Bottom(); ++row) {
            lines[{row, r.col}] |= UP | DOWN;
            lines[{row, r.Right()}] |= UP | DOWN;
        }
    }
    static const std::map<unsigned, const char*> glyphs = {
        {LEFT | RIGHT, "─"},
        {UP | DOWN, "│"},
        {RIGHT | DOWN, "┌"},
        {LEFT | DOWN, "┐"},
        {UP | RIGHT, "└"},
        {UP | LEFT, "┘"},
        {UP | DOWN | RIGHT, "├"},
        {UP | DOWN | LEFT, "┤"},
        {LEFT | RIGHT | DOWN, "┬"},
        {LEFT | RIGHT | UP, "┴"},
        {UP | DOWN | LEFT | RIGHT, "┼"},
    };
    for (const auto& [cell, mask] : lines) {
        const auto glyph = glyphs.find(mask);
        if (glyph != glyphs.end()) t.Put(cell.first + rowOffset, cell.second, glyph->second, ATTR_NORMAL);
    }
}

void FillRect(Terminal& t, const CellRect& r, unsigned attr) {
    const std::string blank(static_cast<std::size_t>(std::max(r.cols, 0)), ' ');
    for (int row = r.row; row <= r.Bottom(); ++row) t.Put(row, r.col, blank, attr);
}

int PutButton(Terminal& t, int row, int col, std::string_view display, std::size_t mnemonicByte, unsigned attr) {
    const int w = DisplayWidth(display) + 2;
    t.Put(row, col, "[", attr);
    PutWithMnemonic(t, row, col + 1, display, mnemonicByte, attr);
    t.Put(row, col + w - 1, "]", attr);
    return w;
}

std::vector<CellRect> DrawButtonRow(Terminal& t, int row, int col, int width, const std::vector<std::string>& labels,
                                    std::size_t focused) {
    int total = 0;
    for (const auto& l : labels) total += DisplayWidth(l) + 2;
    total += 2 * (static_cast<int>(labels.size()) - 1);
    int x = col + std::max(0, (width - total) / 2);
    std::vector<CellRect> hits;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const Mnemonic m = ParseMnemonic(labels[i]);
        const int w = PutButton(t, row, x, m.display, m.index, i == focused ? ATTR_REVERSE : ATTR_NORMAL);
        hits.push_back({row, x, 1, w});
        x += w + 2;
    }
    return hits;
}

CellRect CentredBox(const Terminal& t, int innerRows, int innerCols) {
    const int screenRows = t.Rows(), screenCols = std::min(t.Columns(), MIN_COLUMNS);
    const int rows = innerRows + 2, cols = innerCols + 2;
    return {std::max(0, (screenRows - rows) / 2), std::max(0, (screenCols - cols) / 2), rows, cols};
}

void DrawBox(Terminal& t, const CellRect& box, std::string_view caption) {
    FillRect(t, box, ATTR_NORMAL);
    DrawFrame(t, box, "", ATTR_NORMAL);
    t.Put(box.row, box.col + 1, " " + std::string(caption) + " ", ATTR_REVERSE);
}

}  // namespace ui::terminal
