// The window services on a character terminal: the main window drawn from
// the layout table, its keys, focus and timers; the boxes over it (Boxes.h,
// FileDialog.h) run through its ModalHost side. All is driven by keys (and
// mouse clicks) read from a Terminal: ncurses in the program, an in-memory
// grid in the tests. The main window's drawing is in MainWindowDrawing.cpp.
#pragma once

#include <cstddef>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/DialogLayout.h"
#include "ui/FrontEnd.h"
#include "ui/terminal/Boxes.h"
#include "ui/terminal/Drawing.h"
#include "ui/terminal/EditBuffer.h"
#include "ui/terminal/EventPump.h"
#include "ui/terminal/ModalBox.h"
#include "ui/terminal/Terminal.h"
#include "ui/terminal/TerminalLayout.h"

namespace ui::terminal {

// The help line of the main window: only keys that act there.
constexpr const char* KEY_HELP = "Tab mover  Alt+letra botón  F10 menú  Ctrl+Q cerrar";

// A broken-down time of the C library as the window services give it.
platform::LocalDateTime ToLocalDateTime(const std::tm& tm);

struct TerminalOptions {
    std::string applicationName = "quelmar";  // caption of boxes without one
    SimulatorPanel* panel = nullptr;
    EventPump::Clock clock;  // milliseconds, monotonic
};

class TerminalFrontEnd final : public FrontEnd, private ModalHost {
public:
    TerminalFrontEnd(std::unique_ptr<Terminal> terminal, TerminalOptions options);
    ~TerminalFrontEnd() override;
    TerminalFrontEnd(const TerminalFrontEnd&) = delete;
    TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

    // WindowServices
    [[nodiscard]] platform::MessageResult ShowMessage(std::string_view text, std::string_view caption,
                                                      platform::MessageIcon icon,
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
    [[nodiscard]] std::optional<std::string> ChooseFile(const platform::FileDialogSettings& settings) override;
    platform::LocalDateTime LocalTime() const override;

    // FrontEnd
    [[nodiscard]] platform::ModalResult RunModal(DialogEvents& events) override;

    // The control that has the keyboard focus (0 when none).
    int FocusedControl() const override;
    const TerminalLayout& Layout() const { return layout_; }
    bool IsTimerRunning(int id) const { return pump_.IsTimerRunning(id); }

private:
    struct Control {
        const ControlTemplate* source = nullptr;
        Mnemonic mnemonic;
        std::string text;
        bool enabled = true;
        EditBuffer edit;
        bool textChanged = false;  // to be drawn again on its own
    };

    // ModalHost
    std::optional<Key> NextKey() override;
    void OfferToPanel(const Key& key) override;
    void SetCursorWanted(int row, int col) override;
    void Open(ModalBox& box) override;
    void Close(ModalBox& box) override;

    // The simulated scale's state and keys, as the bottom rows show them.
    std::string PanelText() const;
    // Something on the screen differs from what was last drawn, `status`
    // being the simulator's line now.
    bool ScreenChanged(const std::string& status) const;
    void Redraw(std::string status);
    // Only the texts and the simulator's rows that changed, over the window
    // as last drawn.
    void RedrawChangedTexts(std::string status);
    bool TooSmall() const;
    void DrawTooSmall();
    void DrawTitleBar();
    void DrawMainWindow();
    void DrawBottomLines();
    void DrawControl(const Control& control, const CellRect& cell, int rowOffset, int colOffset, bool focused,
                     bool cursorWanted);

    void HandleMainKey(const Key& key);
    [[nodiscard]] bool HandleMnemonic(int letter);
    void Press(std::size_t index);
    void MoveFocus(bool forward, bool selectAll);
    void SetFocus(std::size_t index, bool selectAll);
    // To the next enabled push button in tab order, from the focused control.
    void FocusNextButton();
    bool Usable(std::size_t index) const;
    void RunSystemMenu();
    void DeliverTick(int id);

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
    std::vector<SystemMenuItem> systemMenu_;
    std::vector<ModalBox*> boxes_;  // the open boxes, the topmost last
    DialogEvents* events_ = nullptr;
    bool shown_ = false;
    bool closed_ = false;
    platform::ModalResult result_ = platform::ModalResult::Cancel;
    int cursorRow_ = -1;
    int cursorCol_ = -1;
    // What the last drawing showed, to draw again only when it changed:
    // everything, or (counting items, several times a second) only the
    // texts that changed.
    bool changed_ = true;
    bool textsChanged_ = false;
    int drawnRows_ = 0;
    int drawnColumns_ = 0;
    std::string drawnStatus_;
};

}  // namespace ui::terminal
