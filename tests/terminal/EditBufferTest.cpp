#include "ui/terminal/EditBuffer.h"

#include <gtest/gtest.h>

namespace ui::terminal {
namespace {

using R = EditBuffer::Result;

Key Special(int code) { return Key::Special(code); }

TEST(EditBufferTest, TypingDigitsAndMinusInsertsAtTheCursor) {
    EditBuffer e;
    EXPECT_EQ(e.HandleKey(Key::Char('1')), R::Changed);
    EXPECT_EQ(e.HandleKey(Key::Char('9')), R::Changed);
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_HOME)), R::Moved);
    EXPECT_EQ(e.HandleKey(Key::Char('-')), R::Changed);
    EXPECT_EQ(e.Text(), "-19");
    EXPECT_EQ(e.Cursor(), 1u);
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_END)), R::Moved);
    EXPECT_EQ(e.HandleKey(Key::Char('0')), R::Changed);
    EXPECT_EQ(e.Text(), "-190");
}

TEST(EditBufferTest, OtherCharactersAreLeftToTheDialog) {
    EditBuffer e;
    e.SetText("12");
    EXPECT_EQ(e.HandleKey(Key::Char('a')), R::NotHandled);
    EXPECT_EQ(e.HandleKey(Key::Char('s', true)), R::NotHandled);  // Alt+S is a mnemonic
    EXPECT_EQ(e.HandleKey(Key::Char(CHAR_RETURN)), R::NotHandled);
    EXPECT_EQ(e.HandleKey(Key::Char(CHAR_TAB)), R::NotHandled);
    EXPECT_EQ(e.HandleKey(Special(KeyCodeF(2))), R::NotHandled);
    EXPECT_EQ(e.Text(), "12");
}

TEST(EditBufferTest, BackspaceAndDeleteRemoveOnEitherSideOfTheCursor) {
    EditBuffer e;
    e.SetText("1234");
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_LEFT)), R::Moved);
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_LEFT)), R::Moved);  // between 2 and 3
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_BACKSPACE)), R::Changed);
    EXPECT_EQ(e.Text(), "134");
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_DELETE)), R::Changed);
    EXPECT_EQ(e.Text(), "14");
    EXPECT_EQ(e.Cursor(), 1u);
    // The DEL character most terminals send for Backspace.
    EXPECT_EQ(e.HandleKey(Key::Char(CHAR_DELETE)), R::Changed);
    EXPECT_EQ(e.Text(), "4");
}

TEST(EditBufferTest, EditingKeysAtTheEndsChangeNothing) {
    EditBuffer e;
    e.SetText("7");
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_DELETE)), R::Moved);  // nothing after the cursor
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_RIGHT)), R::Moved);
    EXPECT_EQ(e.Cursor(), 1u);
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_HOME)), R::Moved);
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_BACKSPACE)), R::Moved);  // nothing before it
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_LEFT)), R::Moved);
    EXPECT_EQ(e.Cursor(), 0u);
    EXPECT_EQ(e.Text(), "7");
}

TEST(EditBufferTest, ASelectedTextIsReplacedByTheFirstCharacterTyped) {
    EditBuffer e;
    e.SetText("190");
    e.SelectAll();
    EXPECT_TRUE(e.AllSelected());
    EXPECT_EQ(e.HandleKey(Key::Char('1')), R::Changed);
    EXPECT_FALSE(e.AllSelected());
    EXPECT_EQ(e.HandleKey(Key::Char('0')), R::Changed);
    EXPECT_EQ(e.Text(), "10");

    e.SelectAll();
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_BACKSPACE)), R::Changed);
    EXPECT_EQ(e.Text(), "");

    e.SetText("55");
    e.SelectAll();
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_LEFT)), R::Moved);  // to the start, selection gone
    EXPECT_EQ(e.Cursor(), 0u);
    EXPECT_EQ(e.HandleKey(Key::Char('1')), R::Changed);
    EXPECT_EQ(e.Text(), "155");
}

TEST(EditBufferTest, TheProgramsOwnTextLeavesNoSelection) {
    EditBuffer e;
    e.SetText("1");
    e.SelectAll();
    e.SetText("800");
    EXPECT_FALSE(e.AllSelected());
    EXPECT_EQ(e.Cursor(), 3u);
    EXPECT_EQ(e.HandleKey(Key::Char('1')), R::Changed);
    EXPECT_EQ(e.Text(), "8001");
}

TEST(EditBufferTest, TheLengthLimitStopsTyping) {
    EditBuffer e(EditBuffer::Accepts::Digits, 3);
    for (const char c : std::string("12345")) e.HandleKey(Key::Char(c));
    EXPECT_EQ(e.Text(), "123");
}

TEST(EditBufferTest, NamesTakeLettersAndAccentsOneCharacterAtATime) {
    EditBuffer e(EditBuffer::Accepts::AnyText);
    for (const int c : {int{'a'}, 0xF1, int{'o'}, int{'.'}, int{'l'}}) EXPECT_EQ(e.HandleKey(Key::Char(c)), R::Changed);
    EXPECT_EQ(e.Text(), "año.l");
    EXPECT_EQ(e.Length(), 5u);
    e.HandleKey(Special(KEY_CODE_HOME));
    e.HandleKey(Special(KEY_CODE_RIGHT));
    EXPECT_EQ(e.HandleKey(Special(KEY_CODE_DELETE)), R::Changed);  // the whole "ñ"
    EXPECT_EQ(e.Text(), "ao.l");
    EXPECT_EQ(e.HandleKey(Key::Char('/')), R::NotHandled);
}

}  // namespace
}  // namespace ui::terminal
