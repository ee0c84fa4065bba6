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

// Builds and sends CMD_SET_LIMITS from the limits now held, and tells the
// operator how it went.
void SendIfCalibrated(ScaleContext& context, std::uint32_t timeoutMs) {
    if (!IsCalibrated(context.program.calibrationFactor)) {
        ShowStop(context, "Balanza sin calibrar, no se enviaron los limites");
        return;
    }
    const auto counts = LimitsToCounts(context.values.lineLimits, context.program.calibrationFactor);
    context.program.limitsInForce = counts;  // what a scale that comes back must get again
    if (context.link.SendLimits(counts, timeoutMs)) {
        context.window.ShowMessage("Nuevos Limites guardados y enviados", NO_CAPTION, platform::MessageIcon::None,
                                   platform::MessageButtons::Ok);
    } else {
        ShowStop(context, "No pudo enviarse");
    }
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
    if (!storage::WriteLimitsFile(context.files, *path, context.values.lineLimits)) {
        ShowStop(context, "No se pudo guardar el archivo de limites");
        return;
    }
    // Limits can be prepared before the scale is calibrated: both files are
    // written, only the send waits for a factor that makes sound counts.
    SendIfCalibrated(context, LIMITS_AFTER_SAVE_TIMEOUT_MS);
    // The calibration file keeps the limits the operator saved even when the
    // scale did not take them: the next start-up shows them again. Its own
    // failure is reported inside; the send already made stands.
    static_cast<void>(SaveCalibration(context, LIMITS_CAPTION));
}

void LoadLimits(ScaleContext& context) {
    const auto path = ChooseLimitsFile(context, platform::FileDialogKind::Open);
    if (!path) return;
    if (!storage::ReadLimitsFile(context.files, *path, context.values.lineLimits)) {
        ShowStop(context, "No se pudo leer el archivo de limites");
        return;
    }
    context.fields.ShowLoadedValues();
    SendIfCalibrated(context, LIMITS_AFTER_LOAD_TIMEOUT_MS);
}

}  // namespace scale
