#include "ui/terminal/NcursesTerminal.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#define NCURSES_WIDECHAR 1
#include <curses.h>

#include "ui/terminal/EditBuffer.h"

namespace ui::terminal {

static_assert(KEY_CODE_DOWN == KEY_DOWN && KEY_CODE_UP == KEY_UP && KEY_CODE_LEFT == KEY_LEFT &&
              KEY_CODE_RIGHT == KEY_RIGHT && KEY_CODE_HOME == KEY_HOME && KEY_CODE_BACKSPACE == KEY_BACKSPACE &&
              KEY_CODE_F0 == KEY_F0 && KEY_CODE_DELETE == KEY_DC && KEY_CODE_ENTER == KEY_ENTER &&
              KEY_CODE_BACK_TAB == KEY_BTAB && KEY_CODE_END == KEY_END && KEY_CODE_MOUSE == KEY_MOUSE &&
              KEY_CODE_RESIZE == KEY_RESIZE);

namespace {

// How long an ESC waits for the key it may prefix (Alt+key).
constexpr int ALT_PREFIX_MS = 25;

// How long one wait for a key lasts at most, so that an interrupt is seen
// soon even while no timer runs.
constexpr int SIGNAL_CHECK_MS = 100;

SCREEN* g_screen = nullptr;
volatile std::sig_atomic_t g_interrupted = 0;

void RestoreOnSignal(int signal) {
    if (g_screen) endwin();
    std::_Exit(128 + signal);
}

// An interrupt (Ctrl+C from outside raw mode, or kill -INT) takes the close
// path as the Ctrl+C key does, instead of ending the program in the middle
// of a shift.
void NoteInterrupt(int) { g_interrupted = 1; }

class NcursesTerminal final : public Terminal {
public:
    explicit NcursesTerminal(SCREEN* screen) : screen_(screen) {
        g_screen = screen_;
        set_term(screen_);
        raw();  // Ctrl+C and Ctrl+Q come as keys
        noecho();
        nonl();
        // Keys are read through a window of their own that is never drawn
        // in: reading a key then never refreshes the screen, which is
        // refreshed once per change by Flush. Nor does a refresh look for
        // typed keys first.
        input_ = newwin(1, 1, 0, 0);
        untouchwin(input_);  // a new window counts as changed: its refresh would blank a cell
        keypad(input_, TRUE);
        meta(input_, TRUE);
        typeahead(-1);
        set_escdelay(ALT_PREFIX_MS);
        mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED, nullptr);
        mouseinterval(0);
        curs_set(0);
        for (const int s : {SIGTERM, SIGHUP, SIGQUIT}) std::signal(s, RestoreOnSignal);
        std::signal(SIGINT, NoteInterrupt);
    }

    ~NcursesTerminal() override {
        delwin(input_);
        endwin();
        delscreen(screen_);
        g_screen = nullptr;
    }

    int Rows() const override { return LINES; }
    int Columns() const override { return COLS; }
    void Clear() override { erase(); }

    void Put(int row, int col, std::string_view utf8, unsigned attributes) override {
        if (row < 0 || row >= LINES || col >= COLS) return;
        attr_t a = A_NORMAL;
        if (attributes & ATTR_REVERSE) a |= A_REVERSE;
        if (attributes & ATTR_UNDERLINE) a |= A_UNDERLINE;
        if (attributes & ATTR_DIM) a |= A_DIM;
        if (attributes & ATTR_BOLD) a |= A_BOLD;
        attrset(a);
        // Cut at the right edge, one cell per code point.
        std::size_t bytes = 0;
        int cells = 0;
        for (const char c : utf8) {
            const bool lead = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
            if (lead && col + cells >= COLS) break;
            if (lead) ++cells;
            ++bytes;
        }
        mvaddnstr(row, col, utf8.data(), static_cast<int>(bytes));
        attrset(A_NORMAL);
    }

    void SetCursor(int row, int col, bool visible) override {
        cursorRow_ = row;
        cursorCol_ = col;
        cursorVisible_ = visible;
    }

    void Flush() override {
        if (cursorVisible_) move(cursorRow_, cursorCol_);
        curs_set(cursorVisible_ ? 1 : 0);
        refresh();
    }

    std::optional<Key> ReadKey(int timeoutMs) override {
        int left = timeoutMs;
        while (true) {
            if (g_interrupted) {
                g_interrupted = 0;
                return Key::Char(CHAR_CTRL_C);
            }
            const int slice = left < 0 ? SIGNAL_CHECK_MS : std::min(left, SIGNAL_CHECK_MS);
            if (const std::optional<Key> key = ReadKeyWithin(slice)) return key;
            if (left < 0) continue;
            left -= slice;
            if (left <= 0 && !g_interrupted) return std::nullopt;
        }
    }

private:
    [[nodiscard]] std::optional<Key> ReadKeyWithin(int timeoutMs) {
        wtimeout(input_, timeoutMs);
        wint_t ch = 0;
        const int kind = wget_wch(input_, &ch);
        if (kind == ERR) return std::nullopt;
        if (kind == KEY_CODE_YES) return Special(static_cast<int>(ch));
        if (ch == 0x1B) {
            // ESC alone is Escape; ESC quickly followed by a key is Alt+key.
            wtimeout(input_, ALT_PREFIX_MS);
            wint_t next = 0;
            const int nextKind = wget_wch(input_, &next);
            if (nextKind == ERR) return Key::Char(0x1B);
            if (nextKind == KEY_CODE_YES) return Special(static_cast<int>(next));
            return DecodeCharacter(static_cast<int>(next), true);
        }
        return DecodeCharacter(static_cast<int>(ch), false);
    }

    static std::optional<Key> Special(int code) {
        if (code == KEY_MOUSE) {
            MEVENT event{};
            if (getmouse(&event) != OK) return std::nullopt;
            if (!(event.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED))) return std::nullopt;
            return Key::Click(event.y, event.x);
        }
        return Key::Special(code);
    }

    SCREEN* screen_;
    WINDOW* input_ = nullptr;
    int cursorRow_ = 0;
    int cursorCol_ = 0;
    bool cursorVisible_ = false;
};

}  // namespace

std::unique_ptr<Terminal> OpenNcursesTerminal(std::string* error) {
    const char* term = std::getenv("TERM");
    if (!term || !*term) {
        if (error) *error = "TERM no está definida: ejecute el programa en una terminal.";
        return nullptr;
    }
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        if (error) *error = "La entrada y la salida deben ser una terminal.";
        return nullptr;
    }
    SCREEN* screen = newterm(nullptr, stdout, stdin);
    if (!screen) {
        if (error) *error = std::string("No se pudo iniciar la terminal \"") + term + "\".";
        return nullptr;
    }
    return std::make_unique<NcursesTerminal>(screen);
}

}  // namespace ui::terminal
