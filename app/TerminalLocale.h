// The terminal front-end draws UTF-8 texts ("Calibración", box borders):
// the process must run under a locale whose character set is UTF-8, or
// ncurses shows every accent as two wrong characters.
#pragma once

#include <string>

namespace app {

enum class LocaleChoice {
    Utf8,            // the user's own locale is UTF-8
    FellBackToUtf8,  // none configured, or a UTF-8 one not installed: C.UTF-8 taken
    NotUtf8,         // the user asked for a locale that is not UTF-8
};

struct LocaleSetup {
    LocaleChoice choice;
    std::string message;  // for NotUtf8: what to tell the user, in Spanish
};

// Takes the user's locale from the environment (LC_ALL, LC_CTYPE, LANG).
// With none of them set, as on a fresh system or under a bare `env -i`, or
// with a UTF-8 locale that is not installed, C.UTF-8 (present on every
// Debian system) is used rather than the "C" locale's ASCII.
[[nodiscard]] LocaleSetup SetUpTerminalLocale();

}  // namespace app
