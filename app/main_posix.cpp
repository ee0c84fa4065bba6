// The program on POSIX systems: the terminal front-end on the simulated
// scale (the emulated driver is the only one there is).
#include <cstdio>

#include "app/TerminalLocale.h"
#include "app/quelmar.h"
#include "ui/terminal/TerminalFrontEndFactory.h"

int main(int argc, char** argv) {
    const app::LocaleSetup locale = app::SetUpTerminalLocale();
    if (locale.choice == app::LocaleChoice::NotUtf8) {
        std::fprintf(stderr, "%s\n", locale.message.c_str());
        return 1;
    }
    return app::RunQuelmar(argc, argv, &ui::terminal::MakeTerminalFrontEnd, true);
}
