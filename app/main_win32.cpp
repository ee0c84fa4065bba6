// quelmar.exe: the program's entry on Windows. The command line arrives as
// UTF-16 and is handed to the shared start-up as UTF-8 arguments; the
// front-end is the Win32 window. Without --simulate the program talks to
// the real USB driver; with it, the simulated scale's tool window is shown
// beside the main window.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "app/quelmar.h"
#include "ui/win32/TextConversion.h"
#include "ui/win32/Win32FrontEnd.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The ANSI command line is not used: the UTF-16 one keeps every character.
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    if (wide != nullptr) {
        for (int i = 0; i < count; ++i) arguments.push_back(ui::win32::Utf16ToUtf8(wide[i]));
        ::LocalFree(wide);
    }
    if (arguments.empty()) arguments.emplace_back("quelmar");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    // On the simulated scale the window gets the simulator's tool window.
    const app::FrontEndFactory makeFrontEnd = [](ui::SimulatorPanel* panel) -> std::unique_ptr<ui::FrontEnd> {
        auto frontEnd = std::make_unique<ui::win32::Win32FrontEnd>();
        frontEnd->SetSimulatorPanel(panel);
        return frontEnd;
    };
    return app::RunQuelmar(static_cast<int>(arguments.size()), argv.data(), makeFrontEnd,
                           /*simulateByDefault=*/false);
}
