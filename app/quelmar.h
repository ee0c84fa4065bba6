// The application object and the program's start, shared by both builds:
// main() on POSIX and WinMain() on Windows only pick the front-end.
#pragma once

#include <functional>
#include <memory>
#include <string>

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
// simulated scale: see RunsOnSimulatedScale), builds the
// global objects in their fixed order, runs the main window modally on the
// front-end and destroys the objects in reverse order. Returns the process
// exit code (0, or 2 for a bad command line after printing why).
//
// With a libusb link (makeUsbLink), the program takes the real scale through
// it, with --usb or no option alike; --simulate the simulated one; --demo the
// real scale when one is attached, else the simulated scale, after a line on
// stderr, its state line in the window saying so (RunsOnSimulatedScale).
//
// Options: --usb, --simulate, --demo, --no-scale (the emulated driver with
// no device), --seed N, --rate ITEMS_PER_SECOND, --reference-on, --paused,
// --help.
int RunQuelmar(int argc, char** argv, const FrontEndFactory& makeFrontEnd, bool simulateByDefault,
               const UsbLinkFactory& makeUsbLink = {});

// The usage text printed for --help and after a bad option.
const char* UsageText();

// The scale the command line asks for: no option, --usb, --simulate, --demo.
enum class ScaleRoad { Default, Usb, Simulate, Demo };

// Whether the program runs on the simulated scale: always with --simulate,
// never with --usb; with --demo when realScaleAttached (asked only then, on
// a build with a libusb link) says no, or where there is no link; with no
// option only where the build has no real scale at all (simulateByDefault
// without a libusb link: POSIX without libusb).
bool RunsOnSimulatedScale(ScaleRoad road, bool haveUsbLink, bool simulateByDefault,
                          const std::function<bool()>& realScaleAttached);

// The simulated scale's state line when --demo found no real scale:
// "Balanza simulada (no hay balanza USB conectada): Trabajando, ...".
std::string FallbackStateText(const std::string& state);

}  // namespace app
