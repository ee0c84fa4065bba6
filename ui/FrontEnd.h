// What a front-end (Win32 window, terminal) offers the program: the window
// services plus the modal run of the main window, and the events it delivers
// to the window's logic.
#pragma once

#include <string>
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

constexpr std::string_view PANEL_KEYS_SEPARATOR = "   ";

// Optional panel of the simulated scale that a front-end may show outside
// the dialog area (terminal status line) and give unused keys to.
class SimulatorPanel {
public:
    virtual ~SimulatorPanel() = default;
    // One line: the simulated scale's state, PANEL_KEYS_SEPARATOR, and the
    // keys that act on it (a narrow screen shows the two on rows of their own).
    virtual std::string StatusLine() const = 0;
    // The state alone, for a front-end that gives the keys buttons of its own.
    virtual std::string StateText() const { return StatusLine(); }
    // A key the dialog did not use; true when the panel acted on it.
    virtual bool HandleKey(int key) = 0;
};

}  // namespace ui

namespace ui {

// The keys a front-end hands to the simulator panel for F2, F3 and F4 (the
// values curses uses for them).
constexpr int PANEL_KEY_F2 = 266;
constexpr int PANEL_KEY_F3 = 267;
constexpr int PANEL_KEY_F4 = 268;

}  // namespace ui
