// An in-memory terminal: a grid of cells, and keys scripted at moments of a
// hand-moved clock. Waiting for a key moves the clock instead of sleeping.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ui/terminal/Terminal.h"

namespace ui::terminal::testing {

// Whether one of `lines` holds `text`.
inline bool Shows(const std::vector<std::string>& lines, std::string_view text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != l.npos; });
}

class FakeTerminal final : public Terminal {
public:
    FakeTerminal(int rows, int cols, std::int64_t& clock) : rows_(rows), columns_(cols), clock_(clock) { Clear(); }

    // A key that arrives `atMs` on the clock (0: at once), in the order given.
    void KeyAt(std::int64_t atMs, Key key) { keys_.emplace_back(atMs, key); }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const auto& row : grid_) {
            lines.emplace_back();
            for (const Cell& cell : row) lines.back() += cell.text;
        }
        return lines;
    }
    // The attributes `offset` characters into where `text` first is, or ~0u.
    unsigned AttributesAt(std::string_view text, std::size_t offset) const {
        for (const auto& row : grid_)
            for (std::size_t col = 0; col + offset < row.size(); ++col) {
                std::string here;
                for (std::size_t c = col; c < row.size() && here.size() < text.size(); ++c) here += row[c].text;
                if (here == text) return row[col + offset].attributes;
            }
        return ~0u;
    }
    // Every screen a key was awaited on.
    std::vector<std::vector<std::string>> seen;
    bool Showed(std::string_view text) const {
        return std::any_of(seen.begin(), seen.end(), [&](const auto& lines) { return Shows(lines, text); });
    }

    int Rows() const override { return rows_; }
    int Columns() const override { return columns_; }
    void Clear() override { grid_.assign(rows_, std::vector<Cell>(columns_)); }
    void Put(int row, int col, std::string_view utf8, unsigned attributes) override {
        if (row < 0 || row >= rows_) return;
        for (const char ch : utf8) {
            const bool first = (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
            if (first && ++col > columns_) return;
            if (col < 1) continue;
            Cell& cell = grid_[row][col - 1];
            cell.text = first ? std::string(1, ch) : cell.text + ch;
            cell.attributes = attributes;
        }
    }
    void SetCursor(int, int, bool) override {}
    void Flush() override { ++flushes; }
    int flushes = 0;  // screens the program finished drawing

    std::optional<Key> ReadKey(int timeoutMs) override {
        seen.push_back(Lines());
        if (!keys_.empty() && (timeoutMs < 0 || keys_.front().first <= clock_ + timeoutMs)) {
            const auto [at, key] = keys_.front();
            keys_.pop_front();
            clock_ = std::max(clock_, at);
            return key;
        }
        if (timeoutMs < 0 || clock_ + timeoutMs > 3600 * 1000)
            throw std::logic_error("the keys ran out: nothing left to wait for, or timers going on for an hour");
        clock_ += timeoutMs;
        return std::nullopt;
    }

private:
    struct Cell {
        std::string text = " ";
        unsigned attributes = 0;
    };
    const int rows_, columns_;
    std::int64_t& clock_;
    std::deque<std::pair<std::int64_t, Key>> keys_;  // each at its moment
    std::vector<std::vector<Cell>> grid_;
};

}  // namespace ui::terminal::testing
