#include "scale/LineLimits.h"

#include <optional>
#include <string>

#include "scale/Calibration.h"
#include "storage/LimitsFile.h"

namespace scale {

namespace {

constexpr std::uint8_t ALL_LINES_EDITED = 0xFF;
constexpr std::string_view LIMITS_CAPTION = "Enviar limites";
// No caption of its own: the box bears the program's name.
constexpr std::string_view NO_CAPTION = "";

void ShowStop(ScaleContext& context, std::string_view text) {
    context.window.ShowMessage(text, LIMITS_CAPTION, platform::MessageIcon::Stop, platform::MessageButtons::Ok);
}

enum class Sending { Sent, NotSent, Uncalibrated };

// Builds and sends CMD_SET_LIMITS from the limits now held.
Sending Send(ScaleContext& context, std::uint32_t timeoutMs) {
    if (!IsCalibrated(context.program.calibrationFactor)) return Sending::Uncalibrated;
    const auto counts = LimitsToCounts(context.values.lineLimits, context.program.calibrationFactor);
    context.program.limitsInForce = counts;  // what a scale that comes back must get again
    return context.link.SendLimits(counts, timeoutMs) ? Sending::Sent : Sending::NotSent;
}

constexpr std::string_view NOT_SENT = "No pudo enviarse";
constexpr std::string_view UNCALIBRATED = "Balanza sin calibrar, no se enviaron los límites";

// One box for a send and the files written with it: what was done and what
// was not, never a success followed by a failure.
// A file that could not be written is named with the cause.
void Report(ScaleContext& context, Sending sending, std::string_view limitsFileFailure = {},
            std::string_view calibrationFileFailure = {}) {
    const bool limitsFileSaved = limitsFileFailure.empty(), calibrationFileSaved = calibrationFileFailure.empty();
    if (sending == Sending::Sent && limitsFileSaved && calibrationFileSaved) {
        context.window.ShowMessage("Nuevos Limites guardados y enviados", NO_CAPTION, platform::MessageIcon::None,
                                   platform::MessageButtons::Ok);
        return;
    }
    std::string text(sending == Sending::Sent      ? "Los límites se enviaron a la balanza"
                     : sending == Sending::NotSent ? NOT_SENT
                                                   : UNCALIBRATED);
    if (!limitsFileSaved || !calibrationFileSaved) text += ".";
    for (const std::string_view failure : {limitsFileFailure, calibrationFileFailure})
        if (!failure.empty()) text.append(" ").append(failure);
    ShowStop(context, text);
}

std::optional<std::string> ChooseLimitsFile(ScaleContext& context, platform::FileDialogKind kind) {
    auto path = context.window.ChooseFile(storage::LimitsFileDialog(kind));
    if (!path) ShowStop(context, "Cancelado");
    return path;
}

}  // namespace

void LimitEdited(ScaleContext& context, int line) {
    if (line < 1 || line > LINE_COUNT) return;
    context.program.limitEditMask = static_cast<std::uint8_t>(context.program.limitEditMask | (1u << (line - 1)));
    if (context.program.limitEditMask != ALL_LINES_EDITED) return;
    context.modes.EnableSaveLimits();
    // A refused value has been reported by the exchange itself; nothing
    // else follows from an edit.
    static_cast<void>(context.fields.ReadFields());
}

void SaveLimits(ScaleContext& context) {
    if (!context.fields.ReadFields()) return;
    if (!LimitsInOrder(context.values.lineLimits)) {
        context.window.ShowMessage("Error en limites", NO_CAPTION, platform::MessageIcon::None,
                                   platform::MessageButtons::Ok);
        return;
    }
    const auto path = ChooseLimitsFile(context, platform::FileDialogKind::Save);
    if (!path) return;
    // A file that cannot be written does not keep the limits from the scale:
    // the scale sorts by what the window shows. Limits can also be prepared
    // before the scale is calibrated: both files are written, only the send
    // waits for a factor that makes sound counts. The calibration file keeps
    // the limits the operator saved even when the scale did not take them, so
    // the next start-up shows them again.
    std::string limitsFileFailure, calibrationFileFailure;
    if (!storage::WriteLimitsFile(context.files, *path, context.values.lineLimits))
        limitsFileFailure =
            storage::FileFailureMessage("No se pudo guardar el archivo de límites", *path, context.files.LastFailure());
    const Sending sending = Send(context, LIMITS_AFTER_SAVE_TIMEOUT_MS);
    if (!storage::SaveCalibrationFile(
            context.files, storage::CalibrationData{context.program.calibrationFactor, context.values.lineLimits}))
        calibrationFileFailure = CalibrationFileFailure(context);
    Report(context, sending, limitsFileFailure, calibrationFileFailure);
}

void LoadLimits(ScaleContext& context) {
    const auto path = ChooseLimitsFile(context, platform::FileDialogKind::Open);
    if (!path) return;
    const storage::FileFailure failure = storage::ReadLimitsFile(context.files, *path, context.values.lineLimits);
    if (failure != storage::FileFailure::None) {
        ShowStop(context, storage::FileFailureMessage("No se pudo leer el archivo de límites", *path, failure));
        return;
    }
    context.fields.ShowLoadedValues();
    Report(context, Send(context, LIMITS_AFTER_LOAD_TIMEOUT_MS));
}

void SendStoredLimits(ScaleContext& context) {
    // The scale may have been powered with other limits, or none: what the
    // window shows is what it must sort by. Only a failure is told.
    if (Send(context, LIMITS_AFTER_LOAD_TIMEOUT_MS) == Sending::NotSent) ShowStop(context, NOT_SENT);
}

}  // namespace scale
