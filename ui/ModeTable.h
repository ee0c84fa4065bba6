// The one table of the operating modes: which of the six mode buttons each
// mode enables and which timer runs in it.
#pragma once

#include "platform/WindowServices.h"
#include "scale/ScaleContext.h"

namespace ui {

// Leaves `from` for `to`: stops every timer that is not `to`'s, starts
// `to`'s when the mode changes, then sets the six buttons, enabling before
// disabling. A focused button that goes off first hands the focus to the
// mode's natural next button, never to a field.
void ApplyMode(platform::WindowServices& window, scale::Mode from, scale::Mode to);
// Whether the mode runs a timer of its own, whose ticks also carry the
// reconnect attempts while the scale is lost.
bool ModeHasTimer(scale::Mode mode);

}  // namespace ui
