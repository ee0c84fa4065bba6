// The text of one edit field and its cursor, with the editing keys of a
// single-line edit control. Pure: no terminal involved.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "ui/terminal/Keys.h"

namespace ui::terminal {

class EditBuffer {
public:
    enum class Accepts { Digits, AnyText };

    explicit EditBuffer(Accepts accepts = Accepts::Digits, std::size_t maxLength = 32)
        : accepts_(accepts), maxLength_(maxLength) {}

    // Replaces the text (the program's own write): cursor at the end, no
    // selection.
    void SetText(std::string_view utf8);
    const std::string& Text() const { return text_; }

    // Cursor position in characters (code points) from the start.
    std::size_t Cursor() const { return cursor_; }
    std::size_t Length() const;

    // Selects the whole text, as when the field receives the focus by Tab;
    // the next character typed replaces it.
    void SelectAll();
    bool AllSelected() const { return allSelected_; }
    // Ends the selection; the cursor stays where it is.
    void Deselect() { allSelected_ = false; }

    enum class Result { NotHandled, Moved, Changed };
    // Applies one key. Changed when the text is different afterwards.
    [[nodiscard]] Result HandleKey(const Key& key);

private:
    bool Accept(int codePoint) const;
    std::size_t ByteOffset(std::size_t characters) const;
    void Insert(int codePoint);

    Accepts accepts_;
    std::size_t maxLength_;
    std::string text_;
    std::size_t cursor_ = 0;
    bool allSelected_ = false;
};

// UTF-8 helpers shared by the front-end.
std::string EncodeUtf8(int codePoint);

}  // namespace ui::terminal
