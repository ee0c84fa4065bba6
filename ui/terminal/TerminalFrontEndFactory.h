// Builds the terminal front-end of the program (ncurses, steady clock).
#pragma once

#include <memory>

#include "ui/FrontEnd.h"

namespace ui::terminal {

// Null when the terminal cannot be used; the reason has then been written
// to standard error.
[[nodiscard]] std::unique_ptr<ui::FrontEnd> MakeTerminalFrontEnd(ui::SimulatorPanel* panel);

// The program file's name without its extension ("quelmar").
std::string ApplicationName();

}  // namespace ui::terminal
