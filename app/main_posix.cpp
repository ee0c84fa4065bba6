// The program on POSIX systems: the terminal front-end, on the real scale
// through libusb where that is built (Linux), on the simulated scale behind
// the emulated driver with --simulate (or --demo and no scale attached), and
// where libusb is not built.
#include <cstdio>

#include "app/TerminalLocale.h"
#include "app/quelmar.h"
#include "ui/terminal/TerminalFrontEndFactory.h"
#ifdef QUELMAR_HAVE_LIBUSB
#include "scale/libusb/LibusbScaleLink.h"
#endif

int main(int argc, char** argv) {
    const app::LocaleSetup locale = app::SetUpTerminalLocale();
    if (locale.choice == app::LocaleChoice::NotUtf8) {
        std::fprintf(stderr, "%s\n", locale.message.c_str());
        return 1;
    }
#ifdef QUELMAR_HAVE_LIBUSB
    const app::UsbLinkFactory makeUsbLink = [] { return std::make_unique<scale::LibusbScaleLink>(); };
#else
    const app::UsbLinkFactory makeUsbLink;
#endif
    return app::RunQuelmar(argc, argv, &ui::terminal::MakeTerminalFrontEnd, true, makeUsbLink);
}
