#include "scale/LinkKeeper.h"

#include "scale/LimitRules.h"

namespace scale {

namespace {

// The limits the scale sorted by before it went: the last ones sent, or,
// when none were, those shown, if a factor can turn them into counts.
std::optional<LimitCounts> LimitsToResend(const ScaleContext& context) {
    if (context.program.limitsInForce) return context.program.limitsInForce;
    if (!IsCalibrated(context.program.calibrationFactor)) return std::nullopt;
    return LimitsToCounts(context.values.lineLimits, context.program.calibrationFactor);
}

void ShowLost(ScaleContext& context) {
    if (context.values.stateText == SCALE_LOST_TEXT) return;
    context.values.stateText.assign(SCALE_LOST_TEXT);
    context.fields.ShowFields();
}

}  // namespace

void CheckLink(ScaleContext& context) {
    ProgramValues& program = context.program;
    if (!program.scaleLost && !context.link.IsLost()) return;
    if (!program.scaleLost) {
        program.scaleLost = true;
        program.ticksToReconnect = TICKS_PER_RECONNECT;
        context.modes.ScaleLost(true);
    }
    ShowLost(context);
}

bool KeepLink(ScaleContext& context) {
    ProgramValues& program = context.program;
    if (!program.scaleLost) return false;
    if (--program.ticksToReconnect > 0) return true;
    program.ticksToReconnect = TICKS_PER_RECONNECT;
    if (!TryReconnect(context)) return true;
    program.scaleLost = false;
    context.modes.ScaleLost(false);
    // The scale's own words replace these with its first packet.
    context.values.stateText.clear();
    context.fields.ShowFields();
    return true;
}

bool TryReconnect(ScaleContext& context) {
    ScaleConnection& link = context.link;
    link.Close();
    if (link.FindScale() != FindResult::Ok || link.ConfigureScale() != ConfigureResult::Ok) {
        link.Close();
        return false;
    }
    // A controller that powered up again sorts by no limits at all: until
    // it has them the scale is not back.
    const std::optional<LimitCounts> limits = LimitsToResend(context);
    if (limits && !link.SendLimits(*limits, LIMITS_AFTER_SAVE_TIMEOUT_MS)) {
        link.Close();
        return false;
    }
    return true;
}

}  // namespace scale
