// The application object and the program's start, shared by both builds:
// main() on POSIX and WinMain() on Windows only pick the front-end.
#pragma once

#include <functional>
#include <memory>

#include "scale/ScaleConnection.h"
#include "ui/FrontEnd.h"

namespace app {

// Builds the front-end once the scale side exists. The panel of the
// simulated scale is null when the program runs on the real driver.
using FrontEndFactory = std::function<std::unique_ptr<ui::FrontEnd>(ui::SimulatorPanel* panel)>;

// Builds the link to the real scale over libusb (Linux); empty where there
// is none, and the program uses the USB driver.
using UsbLinkFactory = std::function<std::unique_ptr<scale::ScaleConnection>()>;

// Runs the whole program: parses the command line (argv[0] is the program),
// chooses the system calls (the real driver, or the emulated driver with the
// simulated scale: always on POSIX, with --simulate on Windows), builds the
// global objects in their fixed order, runs the main window modally on the
// front-end and destroys the objects in reverse order. Returns the process
// exit code (0, or 2 for a bad command line after printing why).
//
// With a libusb link (makeUsbLink), --usb takes the real scale through it,
// --simulate the simulated one, and with neither the real scale is used when
// one is attached, else the simulated scale after a line that says so.
//
// Options: --usb, --simulate, --no-scale (the emulated driver with no
// device), --seed N, --rate ITEMS_PER_SECOND, --reference-on, --paused,
// --help.
int RunQuelmar(int argc, char** argv, const FrontEndFactory& makeFrontEnd, bool simulateByDefault,
               const UsbLinkFactory& makeUsbLink = {});

// The usage text printed for --help and after a bad option.
const char* UsageText();

}  // namespace app
