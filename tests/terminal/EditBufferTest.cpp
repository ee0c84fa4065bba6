#include "ui/terminal/EditBuffer.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

namespace ui::terminal {
namespace {

using R = EditBuffer::Result;
using Accepts = EditBuffer::Accepts;

Key Special(int code) { return Key::Special(code); }
Key Char(int c) { return Key::Char(c); }
const Key HOME = Special(KEY_CODE_HOME), END = Special(KEY_CODE_END), LEFT = Special(KEY_CODE_LEFT),
          RIGHT = Special(KEY_CODE_RIGHT), BACKSPACE = Special(KEY_CODE_BACKSPACE), DEL = Special(KEY_CODE_DELETE);

TEST(EditBufferTest, KeysEditTheTextAtTheCursorAndLeaveTheRestToTheDialog) {
    // What; the field's kind, length limit, text and whether it is selected; the keys, each with the result it
    // must have; the text and the cursor afterwards.
    using Keys = std::vector<std::pair<Key, R>>;
    // clang-format off
    const std::tuple<const char*, Accepts, std::size_t, const char*, bool, Keys, const char*, std::size_t> cases[] = {
        {"digits and minus go in at the cursor", Accepts::Digits, 32, "", false,
         {{Char('1'), R::Changed}, {Char('9'), R::Changed}, {HOME, R::Moved}, {Char('-'), R::Changed},
          {END, R::Moved}, {Char('0'), R::Changed}, {Char('a'), R::NotHandled}, {Key::Char('1', true), R::NotHandled},
          {Special(KeyCodeF(2)), R::NotHandled}}, "-190", 4},
        {"backspace, delete and the DEL character (a backspace), each stopping at its end", Accepts::Digits, 32,
         "1234", false, {{LEFT, R::Moved}, {LEFT, R::Moved}, {BACKSPACE, R::Changed}, {DEL, R::Changed},
          {Char(CHAR_DELETE), R::Changed}, {BACKSPACE, R::Moved}, {LEFT, R::Moved}, {END, R::Moved}, {DEL, R::Moved},
          {RIGHT, R::Moved}}, "4", 1},
        {"backspace erases a selection", Accepts::Digits, 32, "190", true, {{BACKSPACE, R::Changed}}, "", 0},
        {"left goes to the start of a selection", Accepts::Digits, 32, "55", true,
         {{LEFT, R::Moved}, {Char('1'), R::Changed}}, "155", 1},
        {"the length limit stops typing", Accepts::Digits, 3, "", false,
         {{Char('1'), R::Changed}, {Char('2'), R::Changed}, {Char('3'), R::Changed}, {Char('4'), R::Moved}}, "123", 3},
        {"names take accents one character at a time", Accepts::AnyText, 32, "", false,
         {{Char('a'), R::Changed}, {Char(0xF1), R::Changed}, {Char('o'), R::Changed}, {HOME, R::Moved},
          {RIGHT, R::Moved}, {DEL, R::Changed}, {Char('/'), R::NotHandled}, {Char(CHAR_RETURN), R::NotHandled},
          {Char('.'), R::Changed}}, "a.o", 2},
    };
    // clang-format on
    for (const auto& [name, accepts, maxLength, start, selected, keys, text, cursor] : cases) {
        SCOPED_TRACE(name);
        EditBuffer e(accepts, maxLength);
        // The program's own text selects nothing, even over a selection.
        e.SetText("old");
        e.SelectAll();
        e.SetText(start);
        if (selected) e.SelectAll();
        for (std::size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(e.HandleKey(keys[i].first), keys[i].second) << "key " << i;
        EXPECT_EQ(e.Text(), text);
        EXPECT_EQ(e.Cursor(), cursor);
    }
}

TEST(KeyDecodingTest, AltComesAfterAnEscapeOrInTheEighthBitOfALetter) {
    // clang-format off
    const std::tuple<int, bool, Key> rows[] = {  // read, after an ESC: the key
        {0xE5, false, Key::Char('e', true)}, {0xC1, false, Key::Char('A', true)}, {0xFA, false, Key::Char('z', true)},
        {'e', true, Key::Char('e', true)}, {'5', false, Char('5')}, {0xE0, false, Char(0xE0)},
        {0xBF, false, Char(0xBF)}, {0x100, false, Char(0x100)}};
    // clang-format on
    for (const auto& [read, afterEscape, key] : rows) {
        const Key decoded = DecodeCharacter(read, afterEscape);
        EXPECT_EQ(std::tuple(decoded.code, decoded.alt, decoded.typed),
                  std::tuple(key.code, key.alt, key.alt && !afterEscape ? read : 0))
            << read;
    }
}

}  // namespace
}  // namespace ui::terminal
