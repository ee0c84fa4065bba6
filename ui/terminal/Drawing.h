// The screen of the terminal front-end and the drawing every part of it
// shares: UTF-8 texts cut into cells, frames, mnemonic letters, button rows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ui/terminal/Terminal.h"
#include "ui/terminal/TerminalLayout.h"

namespace ui::terminal {

// The smallest terminal the main window is drawn in (the usual default
// size of a terminal).
constexpr int MIN_COLUMNS = 80;
constexpr int MIN_ROWS = 24;
// Rows of the screen outside the dialog: the title bar above it; below it
// the simulator's state, its keys, and the key help, on the last rows.
constexpr int DIALOG_FIRST_ROW = 1;
constexpr int BOTTOM_ROWS = 3;
// The rows the dialog may take in a terminal of `terminalRows` rows; a
// taller terminal gets a roomier layout.
constexpr int DialogRows(int terminalRows) { return terminalRows - DIALOG_FIRST_ROW - BOTTOM_ROWS; }
constexpr int DIALOG_ROWS = DialogRows(MIN_ROWS);

constexpr std::size_t NONE = static_cast<std::size_t>(-1);

// ASCII letters to lower case, for mnemonics.
int Lower(int c);
bool IsButton(const ControlTemplate& c);

// The characters of a UTF-8 text, one string per cell.
std::vector<std::string> Cells(std::string_view utf8);
// `count` cells from `from`, joined again.
std::string Join(const std::vector<std::string>& cells, std::size_t from, std::size_t count);
std::string Repeat(std::string_view s, int times);

// Puts a text with its mnemonic letter (character index `mnemonic`, or npos)
// underlined.
void PutWithMnemonic(Terminal& terminal, int row, int col, std::string_view display, std::size_t mnemonicByte,
                     unsigned attributes);
// A frame of box-drawing characters with an optional title on its top edge.
void DrawFrame(Terminal& terminal, const CellRect& rect, std::string_view title, unsigned attributes);
// Frames that may share borders: each cell shows the lines that meet in it,
// so a box standing on another's bottom edge joins it with ├ ┤ ┬ ┴.
void DrawJoinedFrames(Terminal& terminal, const std::vector<CellRect>& frames, int rowOffset);
void FillRect(Terminal& terminal, const CellRect& rect, unsigned attributes);
// "[Text]" with its mnemonic letter underlined; returns its width.
int PutButton(Terminal& terminal, int row, int col, std::string_view display, std::size_t mnemonicByte,
              unsigned attributes);
// Draws a row of buttons centred in [col, col + width), the focused one in
// reverse video; returns each button's cells for mouse hits.
std::vector<CellRect> DrawButtonRow(Terminal& terminal, int row, int col, int width,
                                    const std::vector<std::string>& labels, std::size_t focused);
// A centred box of the given inner size over the main window (the screen's
// first 80 columns).
CellRect CentredBox(const Terminal& terminal, int innerRows, int innerCols);
// A box's frame with its caption in reverse video on the top edge, over a
// blanked area.
void DrawBox(Terminal& terminal, const CellRect& box, std::string_view caption);

}  // namespace ui::terminal
