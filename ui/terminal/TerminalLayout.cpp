#include "ui/terminal/TerminalLayout.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace ui::terminal {
namespace {

// The widest state word the work mode shows ("Esperando sincronismo...")
// and the widest figure ("123456.78") must fit their boxes.
constexpr int STATE_TEXT_COLUMNS = 24;
constexpr int FIGURE_COLUMNS = 9;
constexpr int EDIT_COLUMNS = 6;  // "-32768"
constexpr int ICON_COLUMNS = 3;

bool IsGroup(const ControlTemplate& c) { return c.kind == ControlKind::GroupBox; }

bool Overlap(int a0, int aSize, int b0, int bSize) { return a0 < b0 + bSize && b0 < a0 + aSize; }

struct Interval {
    int lo = 0;
    int hi = 0;
};

// One "a >= b + offset" relation between interval ends: the layout is the
// least solution of these lower bounds (a longest-path problem on a graph
// without positive cycles, solved by relaxing until nothing moves).
struct Bound {
    int target;  // 2 * element + (0: lo, 1: hi)
    int source;
    int offset;
};

bool Relax(std::vector<int>& values, const std::vector<Bound>& bounds) {
    const std::size_t limit = values.size() * 4 + 16;
    for (std::size_t pass = 0; pass < limit; ++pass) {
        bool moved = false;
        for (const Bound& b : bounds) {
            const int wanted = values[static_cast<std::size_t>(b.source)] + b.offset;
            int& value = values[static_cast<std::size_t>(b.target)];
            if (value < wanted) {
                value = wanted;
                moved = true;
            }
        }
        if (!moved) return true;
    }
    return false;
}

int Round(double v) { return static_cast<int>(std::floor(v + 0.5)); }

// Places every element along one axis for one scale (cells per dialog unit):
// lo is never before the scaled start, an element is at least `minimum`
// cells long, a group box reaches at least its scaled end, elements in
// `before` order do not touch, and a group box encloses its contents.
struct AxisProblem {
    std::vector<int> start;     // dialog units
    std::vector<int> end;       // dialog units
    std::vector<int> minimum;   // cells
    std::vector<bool> stretch;  // reaches its scaled end
    std::vector<Bound> relations;
};

bool SolveAxis(const AxisProblem& p, double scale, int limit, std::vector<Interval>& out) {
    const std::size_t n = p.start.size();
    std::vector<int> values(2 * n + 1, 0);
    const int zero = static_cast<int>(2 * n);  // stays 0: the origin
    std::vector<Bound> bounds = p.relations;
    for (std::size_t i = 0; i < n; ++i) {
        const int lo = static_cast<int>(2 * i), hi = lo + 1;
        bounds.push_back({lo, zero, Round(p.start[i] * scale)});
        bounds.push_back({hi, lo, p.minimum[i] - 1});
        if (p.stretch[i]) bounds.push_back({hi, zero, Round(p.end[i] * scale) - 1});
    }
    if (!Relax(values, bounds)) return false;
    out.assign(n, {});
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = {values[2 * i], values[2 * i + 1]};
        if (out[i].hi >= limit) return false;
    }
    return true;
}

// Tries the natural scale first, then smaller ones until everything fits.
// With a pitch (the template's usual distance between rows of controls),
// the scales that give each pitch a whole number of cells come first, so
// that rows equally far apart in the template stay equally far apart.
bool SolveAxisToFit(const AxisProblem& p, int dialogUnits, int limit, int pitch, std::vector<Interval>& out) {
    const double largest = static_cast<double>(limit) / std::max(dialogUnits, 1);
    if (pitch > 0)
        for (int cells = static_cast<int>(std::ceil(largest * pitch)); cells >= 1; --cells)
            if (SolveAxis(p, static_cast<double>(cells) / pitch, limit, out)) return true;
    for (int step = 0; step <= 200; ++step) {
        const double scale = largest * (200 - step) / 200.0;
        if (SolveAxis(p, scale, limit, out)) return true;
    }
    return false;
}

// The distance between consecutive controls of one column (same left edge)
// that the template uses most: the pitch of its tables; 0 when none recurs.
int RowPitch(const DialogTemplate& dialog) {
    std::map<int, std::vector<int>> columns;  // left edge -> tops
    for (const ControlTemplate& c : dialog.controls)
        if (!IsGroup(c)) columns[c.rect.x].push_back(c.rect.y);
    std::map<int, int> uses;
    for (auto& [x, tops] : columns) {
        std::sort(tops.begin(), tops.end());
        for (std::size_t i = 1; i < tops.size(); ++i)
            if (tops[i] != tops[i - 1]) ++uses[tops[i] - tops[i - 1]];
    }
    int pitch = 0, most = 1;
    for (const auto& [gap, count] : uses)
        if (count > most) {
            pitch = gap;
            most = count;
        }
    return pitch;
}

int Lo(std::size_t i) { return static_cast<int>(2 * i); }
int Hi(std::size_t i) { return static_cast<int>(2 * i + 1); }

}  // namespace

int DisplayWidth(std::string_view utf8) {
    int width = 0;
    for (const char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
    return width;
}

int MinimumColumns(const ControlTemplate& control) {
    const std::string display =
        (control.styles & STYLE_NO_PREFIX) ? std::string(control.text) : ParseMnemonic(control.text).display;
    const int text = DisplayWidth(display);
    switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: return text + 2;  // "[Salir]"
        case ControlKind::Edit: return std::max(text, EDIT_COLUMNS);
        case ControlKind::GroupBox: return text + 2;  // the title between the two corners
        case ControlKind::Icon: return ICON_COLUMNS;
        case ControlKind::Static:
            if (control.styles & (STYLE_THIN_SUNKEN | STYLE_CLIENT_EDGE)) {
                // Figures and the state words change at run time.
                const int wanted = control.rect.cx >= 80 ? STATE_TEXT_COLUMNS : FIGURE_COLUMNS;
                return std::max(text, wanted);
            }
            return std::max(text, 1);
    }
    return text;
}

bool GroupContains(const ControlTemplate& outer, const ControlTemplate& inner) {
    if (!IsGroup(outer) || &outer == &inner) return false;
    const Rect& o = outer.rect;
    const Rect& i = inner.rect;
    return i.x >= o.x && i.y >= o.y && i.x + i.cx <= o.x + o.cx && i.y + i.cy <= o.y + o.cy;
}

TerminalLayout ComputeTerminalLayout(const DialogTemplate& dialog, int maxColumns, int maxRows) {
    TerminalLayout layout;
    const auto& controls = dialog.controls;
    const std::size_t n = controls.size();

    // Across: elements side by side (their rows overlap in the template)
    // keep their order; two controls next to each other keep a blank cell
    // between them.
    AxisProblem across;
    for (const ControlTemplate& c : controls) {
        across.start.push_back(c.rect.x);
        across.end.push_back(c.rect.x + c.rect.cx);
        across.minimum.push_back(MinimumColumns(c));
        across.stretch.push_back(true);
    }
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = 0; b < n; ++b) {
            if (a == b) continue;
            const Rect& ra = controls[a].rect;
            const Rect& rb = controls[b].rect;
            if (GroupContains(controls[a], controls[b])) {
                across.relations.push_back({Lo(b), Lo(a), 1});
                across.relations.push_back({Hi(a), Hi(b), 1});
                continue;
            }
            if (GroupContains(controls[b], controls[a])) continue;
            if (!Overlap(ra.y, ra.cy, rb.y, rb.cy)) continue;
            const bool aFirst = ra.x + ra.cx <= rb.x || (ra.x < rb.x) || (ra.x == rb.x && a < b);
            if (!aFirst) continue;
            const int gap = (!IsGroup(controls[a]) && !IsGroup(controls[b])) ? 2 : 1;
            across.relations.push_back({Lo(b), Hi(a), gap});
        }
    }
    std::vector<Interval> columns;
    if (!SolveAxisToFit(across, dialog.cx, maxColumns, 0, columns)) return layout;

    // Down: every control takes one row, a group box one row for each
    // border. Elements whose cells share a column are stacked in the
    // template's order; controls that start on the same template row stay
    // on one terminal row.
    AxisProblem down;
    for (const ControlTemplate& c : controls) {
        down.start.push_back(c.rect.y);
        down.end.push_back(c.rect.y + c.rect.cy);
        down.minimum.push_back(IsGroup(c) ? 2 : 1);
        down.stretch.push_back(IsGroup(c));
    }
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = 0; b < n; ++b) {
            if (a == b) continue;
            const Rect& ra = controls[a].rect;
            const Rect& rb = controls[b].rect;
            if (GroupContains(controls[a], controls[b])) {
                down.relations.push_back({Lo(b), Lo(a), 1});
                down.relations.push_back({Hi(a), Hi(b), 1});
                continue;
            }
            if (GroupContains(controls[b], controls[a])) continue;
            if (!IsGroup(controls[a]) && !IsGroup(controls[b]) && ra.y == rb.y) {
                down.relations.push_back({Lo(b), Lo(a), 0});
                continue;
            }
            if (!Overlap(columns[a].lo, columns[a].hi - columns[a].lo + 1, columns[b].lo,
                         columns[b].hi - columns[b].lo + 1))
                continue;
            const bool aFirst = ra.y + ra.cy <= rb.y || ra.y < rb.y || (ra.y == rb.y && a < b);
            // Two group boxes one above the other may share a border row.
            const int gap = IsGroup(controls[a]) && IsGroup(controls[b]) ? 0 : 1;
            if (aFirst) down.relations.push_back({Lo(b), Hi(a), gap});
        }
    }
    std::vector<Interval> rows;
    if (!SolveAxisToFit(down, dialog.cy, maxRows, RowPitch(dialog), rows)) return layout;

    layout.cells.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        layout.cells[i] = {rows[i].lo, columns[i].lo, rows[i].hi - rows[i].lo + 1, columns[i].hi - columns[i].lo + 1};
        layout.rows = std::max(layout.rows, rows[i].hi + 1);
        layout.cols = std::max(layout.cols, columns[i].hi + 1);
    }
    layout.fits = true;
    return layout;
}

std::vector<std::size_t> TabOrder(const DialogTemplate& dialog) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < dialog.controls.size(); ++i)
        if (dialog.controls[i].styles & STYLE_TABSTOP) order.push_back(i);
    return order;
}

}  // namespace ui::terminal
