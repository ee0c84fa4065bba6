// The main window on Win32: dialog template 102 built from the layout table,
// run modally with DialogBoxIndirectParamW, and the window services on top
// of the Win32 API (message boxes, timers, common file dialogs). Texts cross
// into Win32 as UTF-16 so that accents are right on every code page.
//
// No <windows.h> here: handles are passed as void* so that this header can
// be included next to the system-call seam in any order.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ui/FrontEnd.h"

namespace ui::win32 {

class SimulatorWindow;

class Win32FrontEnd final : public ui::FrontEnd {
public:
    Win32FrontEnd();
    ~Win32FrontEnd() override;
    Win32FrontEnd(const Win32FrontEnd&) = delete;
    Win32FrontEnd& operator=(const Win32FrontEnd&) = delete;

    // With a panel (the program runs on the simulated scale), RunModal shows
    // the simulator's tool window beside the main window. Set before RunModal.
    void SetSimulatorPanel(SimulatorPanel* panel) { panel_ = panel; }

    [[nodiscard]] platform::ModalResult RunModal(DialogEvents& events) override;

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
    int FocusedControl() const override;
    void CloseModal(platform::ModalResult result) override;
    void AppendSystemMenuItem(int commandId, std::string_view text) override;
    void RunAboutBox() override;
    [[nodiscard]] std::optional<std::string> ChooseFile(const platform::FileDialogSettings& settings) override;
    platform::LocalDateTime LocalTime() const override;

    // The main window while RunModal runs (an HWND), null otherwise.
    void* WindowHandle() const { return window_; }
    // The simulator's tool window while the main window runs with a panel
    // (an HWND), null otherwise.
    void* SimulatorWindowHandle() const;
    // What DialogBoxIndirectParamW returned for the last main window and the
    // last About box: -1 when the window could not be created at all.
    std::intptr_t LastDialogBoxResult() const { return lastMainResult_; }
    std::intptr_t LastAboutBoxResult() const { return lastAboutResult_; }

    // The application's name for message boxes without a caption of their
    // own: the program file's name without its extension.
    static std::string ApplicationName();

private:
    // The window procedures (in the .cpp, where the Win32 types are).
    friend class DialogProcedures;

    std::intptr_t HandleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void* Control(int id) const;

    void* window_ = nullptr;
    DialogEvents* events_ = nullptr;
    SimulatorPanel* panel_ = nullptr;
    std::unique_ptr<SimulatorWindow> simulator_;
    bool ended_ = false;
    void* largeIcon_ = nullptr;
    void* smallIcon_ = nullptr;
    bool initializing_ = false;
    bool focusSetDuringInit_ = false;
    std::intptr_t lastMainResult_ = 0;
    std::intptr_t lastAboutResult_ = 0;
};

}  // namespace ui::win32
