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
enum class SimulatorAction { Reference, Pause, Plug };

struct SimulatorControl {
    SimulatorAction action;
    int functionKey;              // the terminal's key: 2 for F2
    std::string_view keyLabel;    // beside the key on the terminal's key line
    std::string_view buttonText;  // the tool window's button
    // The two while the panel says the action has been taken (the scale is
    // unplugged); empty: the same as ever.
    std::string_view takenKeyLabel = {};
    std::string_view takenButtonText = {};
};

inline constexpr std::array<SimulatorControl, 3> SIMULATOR_CONTROLS = {{
    {SimulatorAction::Reference, 2, "peso patrón", "Peso patrón"},
    {SimulatorAction::Pause, 3, "pausa", "Pausa"},
    {SimulatorAction::Plug, 4, "desconectar", "Desconectar", "conectar", "Conectar"},
}};

// Optional panel of the simulated scale that a front-end may show outside
// the dialog area (the terminal's status lines, the Windows tool window).
class SimulatorPanel {
public:
    virtual ~SimulatorPanel() = default;
    // The simulated scale's state in one line.
    virtual std::string StateText() const = 0;
    virtual void Act(SimulatorAction action) = 0;
    // Whether the action has been taken and its control now offers to undo
    // it (under its second label).
    virtual bool Taken(SimulatorAction action) const {
        static_cast<void>(action);
        return false;
    }
};

// What a control reads as the panel stands: key label, or button text.
inline std::string_view ControlLabel(const SimulatorControl& control, const SimulatorPanel& panel, bool button) {
    const bool taken = panel.Taken(control.action);
    if (button) return taken && !control.takenButtonText.empty() ? control.takenButtonText : control.buttonText;
    return taken && !control.takenKeyLabel.empty() ? control.takenKeyLabel : control.keyLabel;
}

}  // namespace ui
