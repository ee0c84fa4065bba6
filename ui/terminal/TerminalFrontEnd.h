// The window services on a character terminal: the main window drawn from
// the layout table, message boxes, the system menu, the About box, the file
// dialog and the timers, all driven by keys (and mouse clicks) read from a
// Terminal. Works on any Terminal: ncurses in the program, an in-memory grid
// in the tests.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/DialogLayout.h"
#include "ui/FrontEnd.h"
#include "ui/terminal/EditBuffer.h"
#include "ui/terminal/EventPump.h"
#include "ui/terminal/Terminal.h"
#include "ui/terminal/TerminalLayout.h"

namespace ui::terminal {

// The smallest terminal the main window is drawn in (the usual default
// size of a terminal).
constexpr int MIN_COLUMNS = 80;
constexpr int MIN_ROWS = 24;
// Rows of the screen outside the dialog: the title bar above it; below it
// the simulator's state, its keys, and the key help, on the last rows.
constexpr int DIALOG_FIRST_ROW = 1;
constexpr int BOTTOM_ROWS = 3;
// The rows the dialog may take in a terminal of `terminalRows` rows; a
// taller terminal gets a roomier layout.
constexpr int DialogRows(int terminalRows) { return terminalRows - DIALOG_FIRST_ROW - BOTTOM_ROWS; }
constexpr int DIALOG_ROWS = DialogRows(MIN_ROWS);
// The help line of the main window: only keys that act there.
constexpr const char* KEY_HELP = "Tab mover  Alt+letra botón  F10 menú  Ctrl+Q cerrar";

struct TerminalOptions {
    std::string applicationName = "quelmar";  // caption of boxes without one
    SimulatorPanel* panel = nullptr;
    EventPump::Clock clock;                   // milliseconds, monotonic
};

class TerminalFrontEnd final : public FrontEnd {
public:
    TerminalFrontEnd(std::unique_ptr<Terminal> terminal, TerminalOptions options);
    ~TerminalFrontEnd() override;
    TerminalFrontEnd(const TerminalFrontEnd&) = delete;
    TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

    // WindowServices
    platform::MessageResult ShowMessage(std::string_view text, std::string_view caption, platform::MessageIcon icon,
                                        platform::MessageButtons buttons) override;
    void EnableControl(int id, bool enabled) override;
    bool IsControlEnabled(int id) const override;
    void StartTimer(int id, unsigned milliseconds) override;
    void StopTimer(int id) override;
    void SetControlText(int id, std::string_view text) override;
    std::string GetControlText(int id) const override;
    void FocusControl(int id) override;
    void CloseModal(platform::ModalResult result) override;
    void AppendSystemMenuItem(int commandId, std::string_view text) override;
    void RunAboutBox() override;
    std::optional<std::string> ChooseFile(const platform::FileDialogSettings& settings) override;
    platform::LocalDateTime LocalTime() const override;

    // FrontEnd
    platform::ModalResult RunModal(DialogEvents& events) override;

    // The control that has the keyboard focus (0 when none).
    int FocusedControl() const;
    const TerminalLayout& Layout() const { return layout_; }
    bool IsTimerRunning(int id) const { return pump_.IsTimerRunning(id); }

private:
    struct Control {
        const ControlTemplate* source = nullptr;
        Mnemonic mnemonic;
        std::string text;
        bool enabled = true;
        EditBuffer edit;
    };
    struct MenuItem {
        int commandId;  // 0: separator; -1: close
        std::string text;
    };

    // A modal box drawn over the window; the topmost one gets the keys.
    // Hands a key nobody else used to the simulator panel (also while a
    // message box is open: a calibration asks for the reference weight).
    void OfferToPanel(const Key& key);
    class Layer;
    class MessageLayer;
    class AboutLayer;
    class MenuLayer;
    class FileLayer;

    std::optional<Key> PumpOnce();
    // Something on the screen differs from what was last drawn.
    bool ScreenChanged() const;
    void Redraw();
    bool TooSmall() const;
    void DrawTooSmall();
    void DrawTitleBar();
    void DrawMainWindow();
    void DrawBottomLines();
    void DrawControl(const Control& control, const CellRect& cell, int rowOffset, int colOffset, bool focused,
                     bool cursorWanted);

    void HandleMainKey(const Key& key);
    bool HandleMnemonic(int letter);
    void Press(std::size_t index);
    void MoveFocus(bool forward, bool selectAll);
    void SetFocus(std::size_t index, bool selectAll);
    bool Usable(std::size_t index) const;
    void RunSystemMenu();
    void DeliverTick(int id);
    void SetCursorWanted(int row, int col);

    Control* Find(int id);
    const Control* Find(int id) const;

    std::unique_ptr<Terminal> terminal_;
    TerminalOptions options_;
    EventPump pump_;
    const DialogTemplate& template_;
    TerminalLayout layout_;
    std::vector<std::size_t> tabOrder_;
    std::vector<Control> controls_;
    std::size_t focus_ = static_cast<std::size_t>(-1);
    std::vector<MenuItem> systemMenu_;
    std::vector<Layer*> layers_;
    DialogEvents* events_ = nullptr;
    bool shown_ = false;
    bool closed_ = false;
    platform::ModalResult result_ = platform::ModalResult::Cancel;
    int cursorRow_ = -1;
    int cursorCol_ = -1;
    // What the last drawing showed, to draw again only when it changed.
    bool changed_ = true;
    int drawnRows_ = 0;
    int drawnColumns_ = 0;
    std::string drawnStatus_;
};

// Puts a text with its mnemonic letter (character index `mnemonic`, or npos)
// underlined.
void PutWithMnemonic(Terminal& terminal, int row, int col, std::string_view display, std::size_t mnemonicByte,
                     unsigned attributes);
// A frame of box-drawing characters with an optional title on its top edge.
void DrawFrame(Terminal& terminal, const CellRect& rect, std::string_view title, unsigned attributes);

}  // namespace ui::terminal
