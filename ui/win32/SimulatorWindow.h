// The simulated scale's tool window ("Balanza simulada"), shown beside the
// main window when the program runs on the simulated scale: a button for
// each action of the simulator panel and the panel's state line, refreshed
// as the state changes.
//
// It is owned by the main window and by nothing else: a message box of the
// main window disables that window only, so the operator can still put the
// reference weight on while a calibration waits for it in a box.
#pragma once

#include "ui/FrontEnd.h"
#include "ui/win32/ControlHelpers.h"

namespace ui::win32 {

// Control ids of the tool window.
constexpr int IDC_SIMULATOR_STATE = 1100;
// One button per simulator action, in the order of SIMULATOR_CONTROLS.
constexpr int IDC_SIMULATOR_FIRST_ACTION = 1101;
constexpr int IDC_SIMULATOR_REFERENCE = 1101;
constexpr int IDC_SIMULATOR_PAUSE = 1102;
constexpr int IDC_SIMULATOR_PLUG = 1103;

class SimulatorWindow {
public:
    // Creates the window beside `owner` and shows it without taking the
    // activation from the main window.
    SimulatorWindow(SimulatorPanel& panel, HWND owner);
    ~SimulatorWindow();
    SimulatorWindow(const SimulatorWindow&) = delete;
    SimulatorWindow& operator=(const SimulatorWindow&) = delete;

    HWND Handle() const { return window_; }
    // Shows the panel's current state (only when it changed).
    void Refresh();

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnButton(int id);
    void PlaceBeside(HWND owner);

    SimulatorPanel& panel_;
    HWND window_ = nullptr;
    POINT grab_{};  // where the caption was taken, from the window's corner
};

}  // namespace ui::win32
