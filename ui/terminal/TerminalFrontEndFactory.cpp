#include "ui/terminal/TerminalFrontEndFactory.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "ui/terminal/NcursesTerminal.h"
#include "ui/terminal/TerminalFrontEnd.h"

namespace ui::terminal {

std::string ApplicationName() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    std::string name = error ? std::string() : exe.stem().string();
    return name.empty() ? std::string("quelmar") : name;
}

std::unique_ptr<ui::FrontEnd> MakeTerminalFrontEnd(ui::SimulatorPanel* panel) {
    std::string error;
    std::unique_ptr<Terminal> terminal = OpenNcursesTerminal(&error);
    if (!terminal) {
        std::fprintf(stderr, "quelmar: %s\n", error.c_str());
        return nullptr;
    }
    TerminalOptions options;
    options.applicationName = ApplicationName();
    options.panel = panel;
    options.clock = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    return std::make_unique<TerminalFrontEnd>(std::move(terminal), std::move(options));
}

}  // namespace ui::terminal
