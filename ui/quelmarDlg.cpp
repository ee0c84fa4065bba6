#include "ui/quelmarDlg.h"

#include <cstdio>

#include "ui/ControlIds.h"
#include "scale/Calibration.h"
#include "scale/LineLimits.h"
#include "scale/LinkKeeper.h"
#include "scale/WorkMode.h"
#include "ui/ModeTable.h"

namespace ui {

using platform::MessageButtons;
using platform::MessageIcon;
using namespace scale;

namespace {

// Sets a flag for the length of a scope.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

int LineOfLimitField(int id) {
    for (int line = 1; line <= LINE_COUNT; ++line)
        if (LIMIT_FIELD_IDS[static_cast<std::size_t>(line - 1)] == id) return line;
    return 0;
}

}  // namespace

WholeNumber ParseWholeNumber(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return {};
    long value = 0;
    bool tooLarge = false;
    for (char c : text) {
        if (c < '0' || c > '9') return {};
        if (!tooLarge) value = value * 10 + (c - '0');
        tooLarge = tooLarge || value > 32768;
    }
    if (negative) value = -value;
    if (tooLarge || value < -32768 || value > 32767) return {std::nullopt, true};
    return {static_cast<std::int16_t>(value), true};
}

MainDialog::MainDialog(platform::WindowServices& window, ScaleConnection& link, storage::FileSystem& files,
                       storage::ShiftStore& shift, ProgramValues& program)
    : window_(window), link_(link), context_{window, *this, *this, values_, program, link, files, shift} {}

// ---- field exchange ---------------------------------------------------------

void MainDialog::Prompt(int id, std::string_view format, std::int16_t low, std::int16_t high) {
    char prompt[80];
    std::snprintf(prompt, sizeof prompt, std::string(format).c_str(), low, high);
    window_.ShowMessage(prompt, APP_CAPTION, MessageIcon::Exclamation, MessageButtons::Ok);
    window_.FocusControl(id);
}

bool MainDialog::ReadNumber(int id, std::int16_t& value, std::int16_t low, std::int16_t high) {
    const WholeNumber number = ParseWholeNumber(window_.GetControlText(id));
    if (!number.value) {
        // 40000 is a whole number: asking for one would puzzle the operator,
        // so a number too large to hold gets the range prompt, as 900 does.
        Prompt(id, number.whole ? PROMPT_RANGE_FORMAT : PROMPT_WHOLE_NUMBER_FORMAT, low, high);
        return false;
    }
    value = *number.value;
    return true;
}

bool MainDialog::CheckRange(int id, std::int16_t value, std::int16_t low, std::int16_t high) {
    if (value >= low && value <= high) return true;
    Prompt(id, PROMPT_RANGE_FORMAT, low, high);
    return false;
}

bool MainDialog::ReadFields() {
    FlagScope scope(exchanging_);
    values_.countsText = window_.GetControlText(IDC_COUNTS);
    values_.gramsText = window_.GetControlText(IDC_GRAMS);
    values_.stateText = window_.GetControlText(IDC_STATE);

    if (!ReadNumber(IDC_REFERENCE_WEIGHT, values_.referenceWeight, REFERENCE_WEIGHT_MIN, REFERENCE_WEIGHT_MAX))
        return false;
    exchangedReference_ = values_.referenceWeight;
    if (!CheckRange(IDC_REFERENCE_WEIGHT, values_.referenceWeight, REFERENCE_WEIGHT_MIN, REFERENCE_WEIGHT_MAX))
        return false;

    for (std::size_t i = 0; i < LINE_COUNT; ++i) {
        if (!ReadNumber(LIMIT_FIELD_IDS[i], values_.lineLimits[i], LINE_LIMIT_MIN, LINE_LIMIT_MAX)) return false;
        exchangedLimits_[i] = values_.lineLimits[i];
    }
    for (std::size_t i = 0; i < LINE_COUNT; ++i)
        if (!CheckRange(LIMIT_FIELD_IDS[i], values_.lineLimits[i], LINE_LIMIT_MIN, LINE_LIMIT_MAX)) return false;

    LineStatistics& s = values_.statistics;
    for (std::size_t i = 0; i < LINE_COUNT; ++i) {
        s.lineCountText[i] = window_.GetControlText(IDC_LINE_COUNT_1 + static_cast<int>(i));
        s.lineKilogramsText[i] = window_.GetControlText(IDC_LINE_KILOGRAMS_1 + static_cast<int>(i));
    }
    s.totalCountText = window_.GetControlText(IDC_TOTAL_COUNT);
    s.totalKilogramsText = window_.GetControlText(IDC_TOTAL_KILOGRAMS);
    return true;
}

void MainDialog::WriteNumber(int id, std::int16_t value, std::optional<std::int16_t>& exchanged) {
    if (exchanged && *exchanged == value) return;
    char text[8];
    std::snprintf(text, sizeof text, "%d", value);
    window_.SetControlText(id, text);
    exchanged = value;
}

void MainDialog::ShowFields() {
    FlagScope scope(exchanging_);
    window_.SetControlText(IDC_COUNTS, values_.countsText);
    window_.SetControlText(IDC_GRAMS, values_.gramsText);
    window_.SetControlText(IDC_STATE, values_.stateText);
    WriteNumber(IDC_REFERENCE_WEIGHT, values_.referenceWeight, exchangedReference_);
    for (std::size_t i = 0; i < LINE_COUNT; ++i)
        WriteNumber(LIMIT_FIELD_IDS[i], values_.lineLimits[i], exchangedLimits_[i]);
    const LineStatistics& s = values_.statistics;
    for (std::size_t i = 0; i < LINE_COUNT; ++i) {
        window_.SetControlText(IDC_LINE_COUNT_1 + static_cast<int>(i), s.lineCountText[i]);
        window_.SetControlText(IDC_LINE_KILOGRAMS_1 + static_cast<int>(i), s.lineKilogramsText[i]);
    }
    window_.SetControlText(IDC_TOTAL_COUNT, s.totalCountText);
    window_.SetControlText(IDC_TOTAL_KILOGRAMS, s.totalKilogramsText);
}

void MainDialog::ShowLoadedValues() {
    // Only the limits come from a file; a reference weight the operator is
    // typing stays as it is.
    exchangedLimits_.fill(std::nullopt);
    ShowFields();
}

// ---- modes ------------------------------------------------------------------

void MainDialog::EnterMode(Mode mode) {
    ApplyMode(window_, mode_, mode);
    mode_ = mode;
    FollowReconnectTimer();
}

void MainDialog::EnableSaveLimits() { window_.EnableControl(IDC_SAVE_LIMITS, true); }

void MainDialog::ScaleLost(bool) { FollowReconnectTimer(); }

void MainDialog::FollowReconnectTimer() {
    const bool wanted = context_.program.scaleLost && !ModeHasTimer(mode_);
    if (wanted == reconnectTimer_) return;
    reconnectTimer_ = wanted;
    if (wanted) window_.StartTimer(TIMER_RECONNECT, TIMER_PERIOD_MS);
    else window_.StopTimer(TIMER_RECONNECT);
}

// ---- start-up and exit --------------------------------------------------------

void MainDialog::ReportConnectFailure(std::string_view message) {
    window_.ShowMessage(message, APP_CAPTION, MessageIcon::Stop, MessageButtons::Ok);
    Exit();
}

std::string_view MainDialog::ConfigureFailure(std::string_view plain) const {
    return link_.ConfigureFailureMessage().empty() ? plain : link_.ConfigureFailureMessage();
}

void MainDialog::InitializeWindow() {
    ShowFields();
    window_.AppendSystemMenuItem(SYSMENU_ABOUT_ID, ABOUT_MENU_TEXT);

    switch (link_.FindScale()) {
        case FindResult::Ok: break;
        case FindResult::NoList: ReportConnectFailure("No se pudo crear una lista de dispositivos"); return;
        case FindResult::NotIdentified: ReportConnectFailure("Fallo el GetDescriptor"); return;
        case FindResult::NoDevice: ReportConnectFailure("No hay dispositivos USB conectados!"); return;
    }
    switch (link_.ConfigureScale()) {
        case ConfigureResult::Ok: break;
        case ConfigureResult::OpenFailed:
            ReportConnectFailure(ConfigureFailure("No se pudo abrir el dispositivo"));
            return;
        case ConfigureResult::ConfigurationFailed:
            ReportConnectFailure(ConfigureFailure("No se pudo configurar el dispositivo"));
            return;
        case ConfigureResult::ReadPipeFailed: ReportConnectFailure("No se pudo bindear el pipe 0x81"); return;
        case ConfigureResult::WritePipeFailed: ReportConnectFailure("No se pudo bindear el pipe 0x02"); return;
    }
    window_.ShowMessage("Dispositivo Encontrado y Configurado!", APP_CAPTION, MessageIcon::Information,
                        MessageButtons::Ok);
    RestoreShift(context_);
    ChooseStartingMode(context_);
    window_.FocusControl(IDC_EXIT);
}

void MainDialog::Exit() {
    if (!ConfirmLeave()) return;
    // Validate first: a refused field keeps the window, and with it the link
    // and the counting, working.
    if (!ReadFields()) return;
    link_.Close();
    window_.CloseModal(platform::ModalResult::Ok);
}

// ---- events -------------------------------------------------------------------

void MainDialog::OnCommand(int id) {
    // A disabled button cannot be pressed, whatever a platform may deliver.
    if (!window_.IsControlEnabled(id)) return;
    switch (id) {
        case IDC_EXIT: Exit(); break;
        case IDC_CALIBRATE: Calibrate(context_); break;
        case IDC_START_TEST: StartTest(context_); break;
        case IDC_STOP_TEST: StopTest(context_); break;
        case IDC_START_WORK: StartWork(context_); break;
        case IDC_STOP_WORK: StopWork(context_); break;
        case IDC_SAVE_LIMITS: SaveLimits(context_); break;
        case IDC_LOAD_LIMITS: LoadLimits(context_); break;
        case IDC_SAVE_STATISTICS: SaveStatistics(context_); break;
        case IDC_RESTART: Restart(context_); break;
        case IDC_RESET: ConfirmReset(context_); break;
        default: break;
    }
    // An operation that found the scale gone has said so in its own box.
    CheckLink(context_);
}

void MainDialog::OnEditChange(int id) {
    if (exchanging_) return;
    if (const int line = LineOfLimitField(id); line != 0) LimitEdited(context_, line);
}

void MainDialog::OnTimer(int id) {
    // A tick is never handled inside another (a box opened by a tick runs
    // its own message loop).
    if (inTick_) return;
    FlagScope scope(inTick_);
    // While the scale is lost the tick looks for it instead.
    if (KeepLink(context_)) return;
    if (id == TIMER_TEST) {
        ShowTestReading(context_);
    } else if (id == TIMER_WORK) {
        ProcessStatus(context_);
        ShowFields();
    }
    CheckLink(context_);
}

bool MainDialog::OnSysCommand(int commandId) {
    if ((commandId & 0xFFF0) != SYSMENU_ABOUT_ID) return false;
    window_.RunAboutBox();
    return true;
}

// Enter and Escape do nothing in the main window: one stray keystroke must
// not end a shift's counting.
void MainDialog::OnAccept() {}
void MainDialog::OnCancel() {}

void MainDialog::OnClose() {
    if (ConfirmLeave()) window_.CloseModal(platform::ModalResult::Cancel);
}

bool MainDialog::ConfirmLeave() {
    if (mode_ != Mode::WorkMode) return true;
    const std::string_view question = context_.shift.Durable() ? LEAVE_QUESTION_KEPT : LEAVE_QUESTION_LOST;
    return window_.ShowMessage(question, APP_CAPTION, MessageIcon::Exclamation,
                               MessageButtons::OkCancelDefaultCancel) == platform::MessageResult::Ok;
}

}  // namespace ui
