// The little a front-end needs from a character terminal: a grid of cells to
// write UTF-8 text into, a cursor and timed key input. ncurses provides it in
// the program; tests use an in-memory grid with scripted keys.
#pragma once

#include <optional>
#include <string_view>

#include "ui/terminal/Keys.h"

namespace ui::terminal {

enum CellAttribute : unsigned {
    ATTR_NORMAL = 0,
    ATTR_REVERSE = 1u << 0,
    ATTR_UNDERLINE = 1u << 1,
    ATTR_DIM = 1u << 2,
    ATTR_BOLD = 1u << 3,
};

class Terminal {
public:
    Terminal() = default;
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    virtual ~Terminal() = default;

    virtual int Rows() const = 0;
    virtual int Columns() const = 0;
    virtual void Clear() = 0;
    // Writes text starting at a cell; one cell per code point; text past the
    // right edge is cut.
    virtual void Put(int row, int col, std::string_view utf8, unsigned attributes) = 0;
    // Where the cursor blinks after Flush; hidden when visible is false.
    virtual void SetCursor(int row, int col, bool visible) = 0;
    virtual void Flush() = 0;
    // Waits up to timeoutMs (negative: without limit) for a key; nothing
    // when the time ran out.
    [[nodiscard]] virtual std::optional<Key> ReadKey(int timeoutMs) = 0;
};

}  // namespace ui::terminal
