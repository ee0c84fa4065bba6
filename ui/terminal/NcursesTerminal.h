// The Terminal on ncurses (wide-character build): UTF-8 output, keys with
// ESC-prefixed Alt, mouse clicks, resize events. Restores the terminal when
// destroyed, and also when the process is ended by a signal.
#pragma once

#include <memory>

#include "ui/terminal/Terminal.h"

namespace ui::terminal {

// Nothing when the terminal cannot be set up (no TERM, not a terminal);
// `error` then says why.
[[nodiscard]] std::unique_ptr<Terminal> OpenNcursesTerminal(std::string* error);

}  // namespace ui::terminal
