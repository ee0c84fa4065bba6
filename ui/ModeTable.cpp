#include "ui/ModeTable.h"

#include <array>

#include "ui/ControlIds.h"

namespace ui {

namespace {

using scale::Mode;

constexpr std::array<int, 6> MODE_BUTTONS = {IDC_START_WORK, IDC_STOP_WORK, IDC_CALIBRATE,
                                             IDC_START_TEST, IDC_STOP_TEST, IDC_RESTART};
constexpr int NO_TIMER = 0;

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
    for (const bool enable : {true, false})
        for (std::size_t i = 0; i < MODE_BUTTONS.size(); ++i)
            if (row.enabled[i] == enable) window.EnableControl(MODE_BUTTONS[i], enable);
}

}  // namespace ui
