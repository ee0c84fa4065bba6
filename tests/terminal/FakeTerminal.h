// An in-memory terminal: a grid of cells with their attributes, and keys
// scripted at moments of a hand-moved clock. Waiting for a key moves the
// clock instead of sleeping.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "ui/terminal/Terminal.h"

namespace ui::terminal::testing {

class FakeTerminal final : public Terminal {
public:
    FakeTerminal(int rows, int columns, std::int64_t& clock) : clock_(clock) { Resize(rows, columns); }

    // A key that arrives `atMs` on the clock (0: as soon as the program
    // waits for one); keys keep the order given.
    void KeyAt(std::int64_t atMs, Key key) { keys_.push_back({atMs, key}); }
    void Keys(std::initializer_list<Key> keys) {
        for (const Key& key : keys) KeyAt(0, key);
    }
    void Resize(int rows, int columns) {
        rows_ = rows;
        columns_ = columns;
        Clear();
    }
    std::string Screen() const {
        std::string all;
        for (const auto& row : cells_) {
            for (const auto& cell : row) all += cell;
            all += "\n";
        }
        return all;
    }
    // The attributes of the cell `offset` characters into `text` (its first
    // place on the screen), or ~0u when the text is not there.
    unsigned AttributesAt(std::string_view text, std::size_t offset) const {
        for (std::size_t row = 0; row < cells_.size(); ++row)
            for (std::size_t col = 0; col + offset < cells_[row].size(); ++col) {
                std::string here;
                for (std::size_t c = col; c < cells_[row].size() && here.size() < text.size(); ++c)
                    here += cells_[row][c];
                if (here == text) return attributes_[row][col + offset];
            }
        return ~0u;
    }

    int Rows() const override { return rows_; }
    int Columns() const override { return columns_; }
    void Clear() override {
        cells_.assign(static_cast<std::size_t>(rows_),
                      std::vector<std::string>(static_cast<std::size_t>(columns_), " "));
        attributes_.assign(static_cast<std::size_t>(rows_),
                           std::vector<unsigned>(static_cast<std::size_t>(columns_), 0));
    }
    void Put(int row, int col, std::string_view utf8, unsigned attributes) override {
        if (row < 0 || row >= rows_) return;
        auto& cells = cells_[static_cast<std::size_t>(row)];
        for (const char ch : utf8) {
            const bool first = (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
            if (first && ++col > columns_) return;
            if (col < 1) continue;
            const std::size_t at = static_cast<std::size_t>(col - 1);
            cells[at] = first ? std::string(1, ch) : cells[at] + ch;
            attributes_[static_cast<std::size_t>(row)][at] = attributes;
        }
    }
    void SetCursor(int, int, bool) override {}
    void Flush() override { ++flushes; }
    int flushes = 0;  // screens the program finished drawing

    std::optional<Key> ReadKey(int timeoutMs) override {
        if (!keys_.empty() && (timeoutMs < 0 || keys_.front().at <= clock_ + timeoutMs)) {
            const Scripted next = keys_.front();
            keys_.pop_front();
            clock_ = std::max(clock_, next.at);
            return next.key;
        }
        if (timeoutMs >= 0) {
            clock_ += timeoutMs;
            if (clock_ > 3600 * 1000) std::abort();  // a script that ran out while timers go on
            return std::nullopt;
        }
        // Nothing else can happen: close whatever is open, and give up on a
        // program that never ends.
        if (++idleReads_ > 50) std::abort();
        return Key::Char(CHAR_CTRL_Q);
    }

private:
    struct Scripted {
        std::int64_t at;
        Key key;
    };
    int rows_ = 0, columns_ = 0;
    std::int64_t& clock_;
    std::deque<Scripted> keys_;
    std::vector<std::vector<std::string>> cells_;
    std::vector<std::vector<unsigned>> attributes_;
    int idleReads_ = 0;
};

}  // namespace ui::terminal::testing
