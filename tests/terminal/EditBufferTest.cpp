#include "ui/terminal/EditBuffer.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace ui::terminal {
namespace {

using R = EditBuffer::Result;

Key Special(int code) { return Key::Special(code); }
const Key HOME = Special(KEY_CODE_HOME), END = Special(KEY_CODE_END), LEFT = Special(KEY_CODE_LEFT),
          RIGHT = Special(KEY_CODE_RIGHT), BACKSPACE = Special(KEY_CODE_BACKSPACE), DEL = Special(KEY_CODE_DELETE);

// Applies the keys in turn, each with the result it must have.
void Press(EditBuffer& e, const std::vector<std::pair<Key, R>>& steps) {
    for (std::size_t i = 0; i < steps.size(); ++i) EXPECT_EQ(e.HandleKey(steps[i].first), steps[i].second) << "key " << i;
}

TEST(EditBufferTest, DigitsAndMinusGoInAtTheCursorAndOtherKeysAreLeftToTheDialog) {
    EditBuffer e;
    Press(e, {{Key::Char('1'), R::Changed}, {Key::Char('9'), R::Changed}, {HOME, R::Moved},
              {Key::Char('-'), R::Changed}, {END, R::Moved}, {Key::Char('0'), R::Changed},
              {Key::Char('a'), R::NotHandled}, {Key::Char('s', true), R::NotHandled},  // Alt+S: a mnemonic
              {Key::Char(CHAR_RETURN), R::NotHandled}, {Key::Char(CHAR_TAB), R::NotHandled},
              {Special(KeyCodeF(2)), R::NotHandled}});
    EXPECT_EQ(e.Text(), "-190");
    EXPECT_EQ(e.Cursor(), 4u);
}

TEST(EditBufferTest, BackspaceAndDeleteRemoveOnEitherSideOfTheCursorAndStopAtTheEnds) {
    EditBuffer e;
    e.SetText("1234");
    Press(e, {{LEFT, R::Moved}, {LEFT, R::Moved}, {BACKSPACE, R::Changed}, {DEL, R::Changed}});
    EXPECT_EQ(e.Text(), "14");
    EXPECT_EQ(e.Cursor(), 1u);
    // The DEL character most terminals send for Backspace.
    Press(e, {{Key::Char(CHAR_DELETE), R::Changed}, {BACKSPACE, R::Moved}, {LEFT, R::Moved}, {END, R::Moved},
              {DEL, R::Moved}, {RIGHT, R::Moved}});
    EXPECT_EQ(e.Text(), "4");
    EXPECT_EQ(e.Cursor(), 1u);
}

TEST(EditBufferTest, ASelectionIsReplacedByTheFirstCharacterTypedAndTheProgramsTextSelectsNothing) {
    EditBuffer e;
    e.SetText("190");
    e.SelectAll();
    Press(e, {{Key::Char('1'), R::Changed}, {Key::Char('0'), R::Changed}});
    EXPECT_EQ(e.Text(), "10");
    e.SelectAll();
    Press(e, {{BACKSPACE, R::Changed}});
    EXPECT_EQ(e.Text(), "");
    e.SetText("55");
    e.SelectAll();
    Press(e, {{LEFT, R::Moved}, {Key::Char('1'), R::Changed}});  // to the start, selection gone
    EXPECT_EQ(e.Text(), "155");
    e.SelectAll();
    e.SetText("800");
    EXPECT_FALSE(e.AllSelected());
    Press(e, {{Key::Char('1'), R::Changed}});
    EXPECT_EQ(e.Text(), "8001");
}

TEST(EditBufferTest, TheLengthLimitStopsTypingAndNamesTakeAccentsOneCharacterAtATime) {
    EditBuffer digits(EditBuffer::Accepts::Digits, 3);
    for (const char c : std::string("12345")) static_cast<void>(digits.HandleKey(Key::Char(c)));
    EXPECT_EQ(digits.Text(), "123");

    EditBuffer name(EditBuffer::Accepts::AnyText);
    for (const int c : {int{'a'}, 0xF1, int{'o'}, int{'.'}, int{'l'}}) static_cast<void>(name.HandleKey(Key::Char(c)));
    EXPECT_EQ(name.Text(), "año.l");
    EXPECT_EQ(name.Length(), 5u);
    Press(name, {{HOME, R::Moved}, {RIGHT, R::Moved}, {DEL, R::Changed}, {Key::Char('/'), R::NotHandled}});
    EXPECT_EQ(name.Text(), "ao.l");
}

}  // namespace
}  // namespace ui::terminal
