// An in-memory terminal: a grid of cells with their attributes, and keys
// scripted at moments of a hand-moved clock. Waiting for a key moves the
// clock instead of sleeping.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "ui/terminal/Terminal.h"

namespace ui::terminal::testing {

class FakeTerminal final : public Terminal {
public:
    FakeTerminal(int rows, int columns, std::int64_t& clock) : rows_(rows), columns_(columns), clock_(clock) {
        Clear();
    }

    // A key that arrives `atMs` on the clock, or as soon as the program
    // waits for one (keys keep the order given).
    void KeyAt(std::int64_t atMs, Key key) { keys_.push_back({atMs, key}); }
    void Key_(Key key) { KeyAt(0, key); }
    void Type(std::string_view ascii) {
        for (const char c : ascii) Key_(Key::Char(static_cast<unsigned char>(c)));
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
    bool Shows(std::string_view text) const { return Screen().find(text) != std::string::npos; }
    // The row and column of the first cell of `text` on the screen.
    bool Find(std::string_view text, int& row, int& col) const {
        for (row = 0; row < rows_; ++row) {
            std::string line;
            for (const auto& cell : cells_[static_cast<std::size_t>(row)]) line += cell;
            const std::size_t at = line.find(text);
            if (at == std::string::npos) continue;
            col = 0;
            for (std::size_t i = 0; i < at; ++i) col += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
            return true;
        }
        return false;
    }
    unsigned AttributesAt(int row, int col) const { return attributes_.at(row).at(col); }
    std::string CellAt(int row, int col) const { return cells_.at(row).at(col); }

    int Rows() const override { return rows_; }
    int Columns() const override { return columns_; }
    void Clear() override {
        cells_.assign(static_cast<std::size_t>(rows_), std::vector<std::string>(static_cast<std::size_t>(columns_), " "));
        attributes_.assign(static_cast<std::size_t>(rows_), std::vector<unsigned>(static_cast<std::size_t>(columns_), 0));
    }
    void Put(int row, int col, std::string_view utf8, unsigned attributes) override {
        if (row < 0 || row >= rows_) return;
        int c = col - 1;
        for (const char ch : utf8) {
            if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) {
                if (++c >= columns_) return;
                if (c < 0) continue;
                cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(c)] = std::string(1, ch);
                attributes_[static_cast<std::size_t>(row)][static_cast<std::size_t>(c)] = attributes;
            } else if (c >= 0) {
                cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(c)] += ch;
            }
        }
    }
    void SetCursor(int, int, bool) override {}
    void Flush() override { ++flushes; }

    // How many times the program has finished drawing a screen.
    int flushes = 0;

    std::optional<Key> ReadKey(int timeoutMs) override {
        if (!keys_.empty() && (timeoutMs < 0 || keys_.front().at <= clock_ + timeoutMs)) {
            const Scripted next = keys_.front();
            keys_.pop_front();
            clock_ = std::max(clock_, next.at);
            return next.key;
        }
        if (timeoutMs >= 0) {
            clock_ += timeoutMs;
            // A script that ran out while timers go on would never end.
            if (clock_ > 3600 * 1000) std::abort();
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
    int rows_;
    int columns_;
    std::int64_t& clock_;
    std::deque<Scripted> keys_;
    std::vector<std::vector<std::string>> cells_;
    std::vector<std::vector<unsigned>> attributes_;
    int idleReads_ = 0;
};

}  // namespace ui::terminal::testing
