// The terminal program with --usb (last) on a umockdev bus holding the simulated scale (--seed, --rate set it up).
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/quelmar.h"
#include "scale/libusb/LibusbScaleLink.h"
#include "sim/SimulatedScale.h"
#include "tests/support/UmockdevScale.h"
#include "ui/terminal/TerminalFrontEndFactory.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    sim::SimulatedScaleOptions options;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seed") == 0) options.seed = std::strtoull(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--rate") == 0) options.itemsPerSecond = std::strtod(argv[i + 1], nullptr);
    }
    testing_support::UmockdevBus bus;
    bus.Plug({std::make_shared<sim::SimulatedScale>(options)});
    // Last, so that it wins over the harness's own --simulate.
    std::vector<char*> arguments(argv, argv + argc);
    char usb[] = "--usb";
    arguments.push_back(usb);
    arguments.push_back(nullptr);
    const app::UsbLinkFactory makeUsbLink = [] { return std::make_unique<scale::LibusbScaleLink>(); };
    return app::RunQuelmar(argc + 1, arguments.data(), &ui::terminal::MakeTerminalFrontEnd, true, makeUsbLink);
}
