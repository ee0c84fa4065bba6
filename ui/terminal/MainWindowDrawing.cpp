// The main window's drawing: the title bar, the controls from the layout
// table, the simulator's lines and the key help, and the boxes over them.
#include "ui/terminal/TerminalFrontEnd.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "ui/terminal/FileDialogModel.h"

namespace ui::terminal {

namespace {

constexpr std::string_view PANEL_KEYS_SEPARATOR = "   ";

// The simulated scale's state, then its keys: "F2 peso patrón  F3 pausa ...".
std::string PanelLine(const SimulatorPanel& panel) {
    std::string line = panel.StateText() + std::string(PANEL_KEYS_SEPARATOR);
    for (const SimulatorControl& control : SIMULATOR_CONTROLS) {
        if (&control != SIMULATOR_CONTROLS.data()) line += "  ";
        line += "F" + std::to_string(control.functionKey) + " " + std::string(ControlLabel(control, panel, false));
    }
    return line;
}

// The two rows above the key help: the state and the keys, each kept whole,
// together on the lower row when both fit, else on a row each (the state cut
// at the edge, never the keys).
std::array<std::string, 2> PanelRows(const std::string& line, int columns) {
    const std::size_t split = line.find(PANEL_KEYS_SEPARATOR);
    if (split == std::string::npos || DisplayWidth(line) <= columns) return {"", line};
    return {line.substr(0, split), line.substr(split + PANEL_KEYS_SEPARATOR.size())};
}

}  // namespace

std::string TerminalFrontEnd::PanelText() const { return options_.panel ? PanelLine(*options_.panel) : std::string(); }

bool TerminalFrontEnd::ScreenChanged(const std::string& status) const {
    return changed_ || textsChanged_ || terminal_->Rows() != drawnRows_ || terminal_->Columns() != drawnColumns_ ||
           status != drawnStatus_;
}

bool TerminalFrontEnd::TooSmall() const { return terminal_->Columns() < MIN_COLUMNS || terminal_->Rows() < MIN_ROWS; }

void TerminalFrontEnd::DrawTooSmall() {
    const std::string text = "La terminal es demasiado pequeña: Quelmar necesita al menos " +
                             std::to_string(MIN_COLUMNS) + " x " + std::to_string(MIN_ROWS) + " caracteres (ahora " +
                             std::to_string(terminal_->Columns()) + " x " + std::to_string(terminal_->Rows()) +
                             "). Agrande la ventana.";
    const std::vector<std::string> lines = WrapText(text, std::max(terminal_->Columns(), 10));
    for (std::size_t i = 0; i < lines.size() && static_cast<int>(i) < terminal_->Rows(); ++i)
        terminal_->Put(static_cast<int>(i), 0, lines[i], ATTR_BOLD);
}

void TerminalFrontEnd::Redraw(std::string status) {
    Terminal& t = *terminal_;
    if (!changed_ && shown_ && boxes_.empty() && layout_.fits && !TooSmall() && t.Rows() == drawnRows_ &&
        t.Columns() == drawnColumns_) {
        RedrawChangedTexts(std::move(status));
        return;
    }
    changed_ = textsChanged_ = false;
    for (Control& control : controls_) control.textChanged = false;
    if (t.Rows() != drawnRows_) layout_ = ComputeTerminalLayout(template_, MIN_COLUMNS, DialogRows(t.Rows()));
    drawnRows_ = t.Rows();
    drawnColumns_ = t.Columns();
    drawnStatus_ = std::move(status);
    t.Clear();
    cursorRow_ = cursorCol_ = -1;
    if (TooSmall()) {
        DrawTooSmall();
        t.SetCursor(0, 0, false);
        t.Flush();
        return;
    }
    DrawTitleBar();
    if (shown_) DrawMainWindow();
    DrawBottomLines();
    if (!boxes_.empty()) cursorRow_ = cursorCol_ = -1;  // the box has the keyboard
    for (ModalBox* box : boxes_) box->Draw(t);
    t.SetCursor(std::max(cursorRow_, 0), std::max(cursorCol_, 0), cursorRow_ >= 0);
    t.Flush();
}

void TerminalFrontEnd::RedrawChangedTexts(std::string status) {
    Terminal& t = *terminal_;
    textsChanged_ = false;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (!std::exchange(controls_[i].textChanged, false)) continue;
        CellRect cell = layout_.cells[i];
        cell.row += DIALOG_FIRST_ROW;
        FillRect(t, cell, ATTR_NORMAL);
        DrawControl(controls_[i], layout_.cells[i], DIALOG_FIRST_ROW, 0, i == focus_, true);
    }
    if (status != drawnStatus_) {
        // Only the simulator's rows that changed, each blanked to the edge
        // after its text so that a shorter one leaves nothing behind.
        const auto drawn = PanelRows(drawnStatus_, t.Columns()), now = PanelRows(status, t.Columns());
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (now[i] == drawn[i]) continue;
            const int row = t.Rows() - BOTTOM_ROWS + static_cast<int>(i), width = DisplayWidth(now[i]);
            t.Put(row, 0, now[i], ATTR_BOLD);
            t.Put(row, width, std::string(static_cast<std::size_t>(std::max(0, t.Columns() - width)), ' '),
                  ATTR_NORMAL);
        }
        drawnStatus_ = std::move(status);
    }
    t.SetCursor(std::max(cursorRow_, 0), std::max(cursorCol_, 0), cursorRow_ >= 0);
    t.Flush();
}

void TerminalFrontEnd::DrawTitleBar() {
    Terminal& t = *terminal_;
    t.Put(0, 0, std::string(MIN_COLUMNS, ' '), ATTR_REVERSE);
    t.Put(0, 0, "[-] " + std::string(template_.caption), ATTR_REVERSE);
    t.Put(0, MIN_COLUMNS - 3, "[x]", ATTR_REVERSE);
}

void TerminalFrontEnd::DrawBottomLines() {
    Terminal& t = *terminal_;
    const int last = t.Rows() - 1;
    const auto rows = PanelRows(drawnStatus_, t.Columns());
    t.Put(last - 2, 0, rows[0], ATTR_BOLD);
    t.Put(last - 1, 0, rows[1], ATTR_BOLD);
    t.Put(last, 0, KEY_HELP, ATTR_DIM);
}

void TerminalFrontEnd::DrawMainWindow() {
    if (!layout_.fits) return;
    // Group box frames first, then their titles and the other controls.
    std::vector<CellRect> frames;
    for (std::size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i].source->kind == ControlKind::GroupBox) frames.push_back(layout_.cells[i]);
    DrawJoinedFrames(*terminal_, frames, DIALOG_FIRST_ROW);
    for (std::size_t i = 0; i < controls_.size(); ++i)
        DrawControl(controls_[i], layout_.cells[i], DIALOG_FIRST_ROW, 0, i == focus_, boxes_.empty());
}

void TerminalFrontEnd::DrawControl(const Control& control, const CellRect& cell, int rowOffset, int colOffset,
                                   bool focused, bool cursorWanted) {
    Terminal& t = *terminal_;
    const ControlTemplate& c = *control.source;
    const int row = cell.row + rowOffset, col = cell.col + colOffset;
    const unsigned dim = control.enabled ? ATTR_NORMAL : ATTR_DIM;
    switch (c.kind) {
        case ControlKind::GroupBox: {  // the title; the frame is drawn with the others
            const Mnemonic& m = control.mnemonic;
            PutWithMnemonic(t, row, col + 1, m.display, m.index, ATTR_NORMAL);
            break;
        }
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            const Mnemonic m = ParseMnemonic(control.text);
            const int w = DisplayWidth(m.display) + 2;
            const int x = col + std::max(0, (cell.cols - w) / 2);
            const unsigned attr = dim | (focused && control.enabled ? ATTR_REVERSE : ATTR_NORMAL);
            PutButton(t, row, x, m.display, control.enabled ? m.index : std::string::npos, attr);
            break;
        }
        case ControlKind::Edit: {
            const std::vector<std::string> cells = Cells(control.edit.Text());
            const std::size_t width = static_cast<std::size_t>(cell.cols);
            // Scroll so that the cursor stays visible; right-aligned when
            // the text fits.
            std::size_t from = 0;
            const std::size_t cursor = control.edit.Cursor();
            if (cells.size() >= width) from = cursor >= width ? cursor - width + 1 : 0;
            const std::string shown = Join(cells, from, width - (cells.size() >= width ? 1 : 0));
            const int shownWidth = DisplayWidth(shown);
            const int start = (c.styles & STYLE_RIGHT) && cells.size() < width ? col + cell.cols - 1 - shownWidth : col;
            unsigned attr = ATTR_UNDERLINE | dim | (focused ? ATTR_BOLD : ATTR_NORMAL);
            t.Put(row, col, std::string(width, ' '), attr);
            if (focused && control.edit.AllSelected()) attr |= ATTR_REVERSE;
            t.Put(row, start, shown, attr);
            if (focused && cursorWanted) SetCursorWanted(row, start + static_cast<int>(cursor - from));
            break;
        }
        case ControlKind::Static: {
            const std::string display =
                (c.styles & STYLE_NO_PREFIX) ? control.text : ParseMnemonic(control.text).display;
            const std::vector<std::string> cells = Cells(display);
            const std::string shown = Join(cells, 0, static_cast<std::size_t>(cell.cols));
            int x = col;
            if (c.styles & STYLE_CENTER) x += std::max(0, (cell.cols - DisplayWidth(shown)) / 2);
            const bool figure = (c.styles & (STYLE_THIN_SUNKEN | STYLE_CLIENT_EDGE)) != 0;
            t.Put(row, x, shown, figure ? ATTR_BOLD : ATTR_NORMAL);
            break;
        }
        case ControlKind::Icon: t.Put(row, col, "(Q)", ATTR_BOLD); break;
    }
}

}  // namespace ui::terminal
