// The program on POSIX systems: the terminal front-end, on the real scale
// through libusb where it is built (Linux) and attached, otherwise on the
// simulated scale behind the emulated driver.
#include <clocale>

#include "app/quelmar.h"
#include "ui/terminal/TerminalFrontEndFactory.h"
#ifdef QUELMAR_HAVE_LIBUSB
#include "scale/libusb/LibusbScaleLink.h"
#endif

int main(int argc, char** argv) {
    // The texts are UTF-8; ncurses shows them only under the user's locale.
    std::setlocale(LC_ALL, "");
#ifdef QUELMAR_HAVE_LIBUSB
    const app::UsbLinkFactory makeUsbLink = [] { return std::make_unique<scale::LibusbScaleLink>(); };
#else
    const app::UsbLinkFactory makeUsbLink;
#endif
    return app::RunQuelmar(argc, argv, &ui::terminal::MakeTerminalFrontEnd, true, makeUsbLink);
}
