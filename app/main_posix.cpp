// The program on POSIX systems: the terminal front-end on the simulated
// scale (the emulated driver is the only one there is).
#include <clocale>

#include "app/quelmar.h"
#include "ui/terminal/TerminalFrontEndFactory.h"

int main(int argc, char** argv) {
    // The texts are UTF-8; ncurses shows them only under the user's locale.
    std::setlocale(LC_ALL, "");
    return app::RunQuelmar(argc, argv, &ui::terminal::MakeTerminalFrontEnd, true);
}
