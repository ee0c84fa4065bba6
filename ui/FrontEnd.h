// What a front-end (Win32 window, terminal) offers the program: the window
// services plus the modal run of the main window, and the events it delivers
// to the window's logic.
#pragma once

#include <string>
#include <array>
#include <string_view>

#include "platform/WindowServices.h"

namespace ui {

// Events of the main window, delivered one at a time on the window's thread.
// MainDialog implements them; front-end tests may use their own.
class DialogEvents {
public:
    virtual ~DialogEvents() = default;
    // Once, after the window and its controls exist, before it is shown.
    virtual void InitializeWindow() = 0;
    // A push button was pressed (by click, Enter/Space on it, or mnemonic).
    virtual void OnCommand(int id) = 0;
    // The text of an edit field changed. Front-ends may report every change;
    // the window ignores the ones its own field exchange causes.
    virtual void OnEditChange(int id) = 0;
    virtual void OnTimer(int id) = 0;
    // A system-menu command; true when the window handled it, false for the
    // platform's default handling.
    virtual bool OnSysCommand(int commandId) = 0;
    // Enter (accept) and Escape (cancel) pressed in the main window.
    virtual void OnAccept() = 0;
    virtual void OnCancel() = 0;
    // The close box (or the system menu's close item, or its key).
    virtual void OnClose() = 0;
};

class FrontEnd : public platform::WindowServices {
public:
    // Builds the main window from MainDialogTemplate(), calls
    // events.InitializeWindow() before it is shown, then delivers events
    // until CloseModal. Returns the result given to CloseModal.
    virtual platform::ModalResult RunModal(DialogEvents& events) = 0;
};

// What the simulated scale offers the operator, in one table: the terminal
// maps its function keys to these actions and the Windows tool window its
// buttons.
enum class SimulatorAction { Reference, Pause, Unplug };

struct SimulatorControl {
    SimulatorAction action;
    int functionKey;              // the terminal's key: 2 for F2
    std::string_view keyLabel;    // beside the key on the terminal's key line
    std::string_view buttonText;  // the tool window's button
};

inline constexpr std::array<SimulatorControl, 3> SIMULATOR_CONTROLS = {{
    {SimulatorAction::Reference, 2, "peso patrón", "Peso patrón"},
    {SimulatorAction::Pause, 3, "pausa", "Pausa"},
    {SimulatorAction::Unplug, 4, "desconectar", "Desconectar"},
}};

// Optional panel of the simulated scale that a front-end may show outside
// the dialog area (the terminal's status lines, the Windows tool window).
class SimulatorPanel {
public:
    virtual ~SimulatorPanel() = default;
    // The simulated scale's state in one line.
    virtual std::string StateText() const = 0;
    virtual void Act(SimulatorAction action) = 0;
};

}  // namespace ui
