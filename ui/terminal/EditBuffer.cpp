#include "ui/terminal/EditBuffer.h"

namespace ui::terminal {

std::string EncodeUtf8(int cp) {
    std::string out;
    const auto u = static_cast<unsigned>(cp);
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (u >> 18));
        out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
    return out;
}

void EditBuffer::SetText(std::string_view utf8) {
    text_ = std::string(utf8);
    cursor_ = Length();
    allSelected_ = false;
}

std::size_t EditBuffer::Length() const {
    std::size_t n = 0;
    for (const char c : text_)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

void EditBuffer::SelectAll() {
    allSelected_ = !text_.empty();
    cursor_ = Length();
}

bool EditBuffer::Accept(int cp) const {
    if (accepts_ == Accepts::Digits) return (cp >= '0' && cp <= '9') || cp == '-';
    // File names: any printable character but the ones no file name holds.
    return cp >= 0x20 && cp != 0x7F && cp != '/' && cp != '\0';
}

std::size_t EditBuffer::ByteOffset(std::size_t characters) const {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) {
            if (seen == characters) return i;
            ++seen;
        }
    }
    return text_.size();
}

void EditBuffer::Insert(int cp) {
    const std::size_t at = ByteOffset(cursor_);
    text_.insert(at, EncodeUtf8(cp));
    ++cursor_;
}

EditBuffer::Result EditBuffer::HandleKey(const Key& key) {
    const bool wasSelected = allSelected_;
    const std::string before = text_;

    if (key.type == Key::Type::Char && !key.alt && Accept(key.code)) {
        if (wasSelected) {
            text_.clear();
            cursor_ = 0;
        }
        allSelected_ = false;
        if (Length() >= maxLength_) return text_ == before ? Result::Moved : Result::Changed;
        Insert(key.code);
        return Result::Changed;
    }

    const bool backspace = key.IsSpecial(KEY_CODE_BACKSPACE) || key.IsChar(CHAR_BACKSPACE) || key.IsChar(CHAR_DELETE);
    const bool del = key.IsSpecial(KEY_CODE_DELETE);
    if (backspace || del) {
        allSelected_ = false;
        if (wasSelected) {
            text_.clear();
            cursor_ = 0;
        } else if (backspace && cursor_ > 0) {
            const std::size_t from = ByteOffset(cursor_ - 1), to = ByteOffset(cursor_);
            text_.erase(from, to - from);
            --cursor_;
        } else if (del && cursor_ < Length()) {
            const std::size_t from = ByteOffset(cursor_), to = ByteOffset(cursor_ + 1);
            text_.erase(from, to - from);
        }
        return text_ == before ? Result::Moved : Result::Changed;
    }

    if (key.type != Key::Type::Special) return Result::NotHandled;
    switch (key.code) {
        case KEY_CODE_LEFT:
            // Left on a selection goes to its start, as in a Windows edit.
            cursor_ = wasSelected ? 0 : (cursor_ > 0 ? cursor_ - 1 : 0);
            break;
        case KEY_CODE_RIGHT:
            if (!wasSelected && cursor_ < Length()) ++cursor_;
            break;
        case KEY_CODE_HOME: cursor_ = 0; break;
        case KEY_CODE_END: cursor_ = Length(); break;
        default: return Result::NotHandled;
    }
    allSelected_ = false;
    return Result::Moved;
}

}  // namespace ui::terminal
