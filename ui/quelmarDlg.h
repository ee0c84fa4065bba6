// The main window's logic: its values and their field exchange, start-up
// and exit, the command map, the timer dispatch and the About item. It
// reaches the screen only through the window services.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scale/ScaleContext.h"
#include "ui/FrontEnd.h"

namespace ui {

// Prompts of a refused field (caption "Quelmar", exclamation icon), both
// formatted with the field's range: text that is not a whole number, and a
// whole number outside the range (also one too large to be held at all).
constexpr std::string_view PROMPT_WHOLE_NUMBER_FORMAT = "Ingrese un número entero entre %d y %d.";
constexpr std::string_view PROMPT_RANGE_FORMAT = "Ingrese un número entre %d y %d.";
constexpr std::string_view APP_CAPTION = "Quelmar";
constexpr std::string_view ABOUT_MENU_TEXT = "&Acerca de quelmar...";
// Asked by "&Salir" and the close box while work mode runs, by whether the
// shift's figures are kept on disk; Cancel is the default.
constexpr std::string_view LEAVE_QUESTION_KEPT =
    "¿Desea salir? El conteo se detiene; todo lo contado está guardado y se recupera al volver a abrir el programa.";
constexpr std::string_view LEAVE_QUESTION_LOST =
    "¿Desea salir? El conteo se detiene y las estadísticas, que no pudieron guardarse en el disco, se perderán.";

// A field's text read as a whole decimal number, optionally signed, with
// blanks allowed around it: `value` when it fits 16 bits; `whole` also for a
// whole number too large to be held.
struct WholeNumber {
    std::optional<std::int16_t> value;
    bool whole = false;
};
WholeNumber ParseWholeNumber(std::string_view text);

class MainDialog final : public DialogEvents, public scale::FieldExchange, public scale::ModeControl {
public:
    MainDialog(platform::WindowServices& window, scale::ScaleConnection& link, storage::FileSystem& files,
               storage::ShiftStore& shift, scale::ProgramValues& program);
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // DialogEvents
    void InitializeWindow() override;
    void OnCommand(int id) override;
    void OnEditChange(int id) override;
    void OnTimer(int id) override;
    bool OnSysCommand(int commandId) override;
    void OnAccept() override;
    void OnCancel() override;
    void OnClose() override;

    // FieldExchange
    [[nodiscard]] bool ReadFields() override;
    void ShowFields() override;
    void ShowLoadedValues() override;

    // ModeControl. The window's mode is kept here and shown through the mode
    // buttons and the timers, which are never asked what mode it is.
    void EnterMode(scale::Mode mode) override;
    void EnableSaveLimits() override;
    void ScaleLost(bool lost) override;
    scale::Mode CurrentMode() const { return mode_; }

    // "&Salir": validates the fields, and only then takes the link down and
    // ends the window.
    void Exit();

    scale::DialogValues& Values() { return values_; }
    scale::ScaleContext& Context() { return context_; }

private:
    [[nodiscard]] bool ReadNumber(int id, std::int16_t& value, std::int16_t low, std::int16_t high);
    [[nodiscard]] bool CheckRange(int id, std::int16_t value, std::int16_t low, std::int16_t high);
    void Prompt(int id, std::string_view format, std::int16_t low, std::int16_t high);
    void WriteNumber(int id, std::int16_t value, std::optional<std::int16_t>& exchanged);
    // The link's own fuller message for a failed configure, or `plain`.
    std::string_view ConfigureFailure(std::string_view plain) const;
    void ReportConnectFailure(std::string_view message);
    // Outside work mode at once; in work mode only when the operator says so.
    [[nodiscard]] bool ConfirmLeave();
    // Runs the reconnect timer exactly while the scale is lost in a mode
    // with no timer of its own.
    void FollowReconnectTimer();

    platform::WindowServices& window_;
    scale::ScaleConnection& link_;
    scale::DialogValues values_;
    scale::ScaleContext context_;
    // As the window starts: the buttons of the layout are those of this mode.
    scale::Mode mode_ = scale::Mode::Unconfigured;
    // The window's own writes and reads raise no edit notifications.
    bool exchanging_ = false;
    bool inTick_ = false;
    bool reconnectTimer_ = false;
    // What each edit field held when it was last written or read: the
    // exchange rewrites a field only when the program changed its value
    // since, so a refresh never discards what the operator is typing.
    std::optional<std::int16_t> exchangedReference_;
    std::array<std::optional<std::int16_t>, scale::LINE_COUNT> exchangedLimits_;
};

}  // namespace ui
