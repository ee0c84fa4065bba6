// A scale that goes away in the middle of a shift: the window says so and the
// program looks for it again about once a second until it is back, sends it
// the limits in force and carries on in the mode it was in. Never a box: the
// shift may run with nobody there to answer one.
#pragma once

#include <string_view>

#include "scale/ScaleContext.h"

namespace scale {

constexpr std::string_view SCALE_LOST_TEXT = "Balanza desconectada";
// Timer ticks (100 ms) from one reconnect attempt to the next.
constexpr int TICKS_PER_RECONNECT = 10;

// After anything that used the link: a scale the link reports gone is
// marked lost, and while it is lost the Status box says so.
void CheckLink(ScaleContext& context);
// The start of every timer tick. False while the scale is there: the tick
// is the mode's own. True while it is lost: the tick belongs to the search,
// and every TICKS_PER_RECONNECT-th one makes an attempt.
[[nodiscard]] bool KeepLink(ScaleContext& context);
// One attempt: closes what is left, finds and configures the scale as at
// start-up and sends it the limits in force. True when the scale is back.
[[nodiscard]] bool TryReconnect(ScaleContext& context);

}  // namespace scale
