// Keys as the terminal front-end sees them, independent of ncurses so that
// the dialog logic can be driven by tests without a terminal. The codes of
// the special keys are the ncurses ones (the ncurses back-end checks this at
// compile time), so a key handed on to the simulator panel means the same
// thing whichever side reads it.
#pragma once

namespace ui::terminal {

// Special keys (Key::special is true).
constexpr int KEY_CODE_DOWN = 0402;
constexpr int KEY_CODE_UP = 0403;
constexpr int KEY_CODE_LEFT = 0404;
constexpr int KEY_CODE_RIGHT = 0405;
constexpr int KEY_CODE_HOME = 0406;
constexpr int KEY_CODE_BACKSPACE = 0407;
constexpr int KEY_CODE_F0 = 0410;  // F(n) is KEY_CODE_F0 + n
constexpr int KEY_CODE_DELETE = 0512;
constexpr int KEY_CODE_ENTER = 0527;  // keypad Enter
constexpr int KEY_CODE_BACK_TAB = 0541;
constexpr int KEY_CODE_END = 0550;
constexpr int KEY_CODE_MOUSE = 0631;
constexpr int KEY_CODE_RESIZE = 0632;

constexpr int KeyCodeF(int n) { return KEY_CODE_F0 + n; }

// Characters (Key::special is false) are Unicode code points; these are the
// control characters the front-end gives a meaning to.
constexpr int CHAR_CTRL_C = 0x03;
constexpr int CHAR_BACKSPACE = 0x08;
constexpr int CHAR_TAB = 0x09;
constexpr int CHAR_LINE_FEED = 0x0A;
constexpr int CHAR_RETURN = 0x0D;
constexpr int CHAR_CTRL_Q = 0x11;
constexpr int CHAR_ESCAPE = 0x1B;
constexpr int CHAR_DELETE = 0x7F;

struct Key {
    enum class Type { None, Char, Special, Mouse };
    Type type = Type::None;
    int code = 0;      // code point or special key code
    bool alt = false;  // Alt (or ESC quickly followed by the key)
    int row = -1;      // mouse position (Type::Mouse: a left-button press)
    int col = -1;
    int typed = 0;  // an Alt read from the eighth bit: the character as it came (DecodeCharacter)

    static Key Char(int codePoint, bool withAlt = false) { return {Type::Char, codePoint, withAlt, -1, -1, 0}; }
    static Key Special(int keyCode) { return {Type::Special, keyCode, false, -1, -1, 0}; }
    static Key Click(int clickRow, int clickCol) { return {Type::Mouse, KEY_CODE_MOUSE, false, clickRow, clickCol, 0}; }

    bool IsChar(int codePoint) const { return type == Type::Char && !alt && code == codePoint; }
    bool IsSpecial(int keyCode) const { return type == Type::Special && code == keyCode; }
    bool IsEnter() const { return IsChar(CHAR_LINE_FEED) || IsChar(CHAR_RETURN) || IsSpecial(KEY_CODE_ENTER); }
    bool IsEscape() const { return IsChar(CHAR_ESCAPE); }
    bool IsTab() const { return IsChar(CHAR_TAB); }
    bool IsBackTab() const { return IsSpecial(KEY_CODE_BACK_TAB); }
};

// A character read from the terminal, with its Alt: after an ESC that
// prefixed it, or in the eighth bit, as a stock xterm sends Alt+letter
// (metaSendsEscape off: Alt+e comes as U+00E5 in a UTF-8 locale, as the byte
// 0xE5 otherwise). The main window's fields take digits only, so a Latin-1
// letter is read as Alt and the letter; the file name, which takes any text,
// finds the character as it came in `typed`.
inline Key DecodeCharacter(int codePoint, bool afterEscape) {
    const int low = codePoint & 0x7F;
    const bool letter = (low >= 'a' && low <= 'z') || (low >= 'A' && low <= 'Z');
    if (afterEscape || codePoint < 0xC0 || codePoint > 0xFF || !letter) return Key::Char(codePoint, afterEscape);
    Key key = Key::Char(low, true);
    key.typed = codePoint;
    return key;
}

}  // namespace ui::terminal
