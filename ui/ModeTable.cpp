#include "ui/ModeTable.h"

#include <array>

#include "ui/ControlIds.h"

namespace ui {

namespace {

using scale::Mode;

constexpr std::array<int, 6> MODE_BUTTONS = {IDC_START_WORK, IDC_STOP_WORK, IDC_CALIBRATE,
                                             IDC_START_TEST, IDC_STOP_TEST, IDC_RESTART};
constexpr int NO_TIMER = 0;
// Where the keyboard goes when the focused mode button is switched off: the
// first of these that the new mode enables, so that Enter goes on with the
// work (after "Parar Prueba", "Empezar Trabajo") and never lands in a limit
// field where the next digit would change a limit.
constexpr std::array<int, 6> FOCUS_PREFERENCE = {IDC_START_WORK, IDC_STOP_WORK, IDC_START_TEST,
                                                 IDC_STOP_TEST,  IDC_CALIBRATE, IDC_RESTART};

struct ModeRow {
    std::array<bool, MODE_BUTTONS.size()> enabled;
    int timer;
};

// clang-format off
constexpr std::array<ModeRow, 5> MODE_ROWS = {{
    //  start work, stop work, calibrate, start test, stop test, restart
    {{false, false, true,  true,  false, false}, NO_TIMER},    // Unconfigured
    {{true,  false, true,  true,  false, false}, NO_TIMER},    // Ready
    {{false, false, true,  true,  false, false}, NO_TIMER},    // Calibrating
    {{false, false, false, false, true,  false}, TIMER_TEST},  // TestMode
    {{false, true,  false, false, false, true }, TIMER_WORK},  // WorkMode
}};
// clang-format on

}  // namespace

bool ModeHasTimer(Mode mode) { return MODE_ROWS[static_cast<std::size_t>(mode)].timer != NO_TIMER; }

void ApplyMode(platform::WindowServices& window, Mode from, Mode to) {
    const ModeRow& row = MODE_ROWS[static_cast<std::size_t>(to)];
    for (const int timer : {TIMER_TEST, TIMER_WORK}) {
        if (timer != row.timer) window.StopTimer(timer);
        else if (from != to) window.StartTimer(timer, TIMER_PERIOD_MS);
    }
    const auto enabledIn = [&row](int id) {
        for (std::size_t i = 0; i < MODE_BUTTONS.size(); ++i)
            if (MODE_BUTTONS[i] == id) return row.enabled[i];
        return true;
    };
    for (std::size_t i = 0; i < MODE_BUTTONS.size(); ++i)
        if (row.enabled[i]) window.EnableControl(MODE_BUTTONS[i], true);
    if (!enabledIn(window.FocusedControl()))
        for (const int id : FOCUS_PREFERENCE)
            if (enabledIn(id)) {
                window.FocusControl(id);
                break;
            }
    for (std::size_t i = 0; i < MODE_BUTTONS.size(); ++i)
        if (!row.enabled[i]) window.EnableControl(MODE_BUTTONS[i], false);
}

}  // namespace ui
