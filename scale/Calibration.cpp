#include "scale/Calibration.h"

#include <cstdio>
#include <cstring>

#include "scale/LineLimits.h"

namespace scale {

using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;

namespace {

constexpr std::string_view CALIBRATION_CAPTION = "Calibracion de Balanza";
constexpr std::string_view TEST_CAPTION = "Prueba de Balanza";
constexpr std::string_view CLEAR_SCALE = "Despeje la balanza,se tomara el cero";
constexpr std::string_view READ_FAILED = "No se pudo leer la balanza";

void ShowStop(ScaleContext& context, std::string_view text, std::string_view caption) {
    context.window.ShowMessage(text, caption, MessageIcon::Stop, MessageButtons::Ok);
}

bool Confirmed(ScaleContext& context, std::string_view text) {
    return context.window.ShowMessage(text, CALIBRATION_CAPTION, MessageIcon::Exclamation, MessageButtons::OkCancel) ==
           MessageResult::Ok;
}

// The steps of a calibration between its first question and its end; false
// when it ended without a new factor (cancelled, or the scale did not answer,
// or the readings cannot make a factor).
enum class CalibrationEnd { Done, Cancelled, Failed };

CalibrationEnd RunCalibration(ScaleContext& context) {
    if (!Confirmed(context, CLEAR_SCALE)) return CalibrationEnd::Cancelled;
    const std::optional<std::uint8_t> zero = context.link.ReadWeight();
    if (!zero) {
        ShowStop(context, READ_FAILED, CALIBRATION_CAPTION);
        return CalibrationEnd::Failed;
    }
    context.program.zeroCount = *zero;

    if (!Confirmed(context, "Ponga el peso patron sobre la balanza")) return CalibrationEnd::Cancelled;
    const std::optional<std::uint8_t> reading = context.link.ReadWeight();
    if (!reading) {
        ShowStop(context, READ_FAILED, CALIBRATION_CAPTION);
        return CalibrationEnd::Failed;
    }
    // Equal readings would give an infinite factor and a lower one a negative
    // factor: neither may reach the file or the scale.
    if (*reading <= context.program.zeroCount) {
        ShowStop(context, "Lectura inválida, repita la calibración", CALIBRATION_CAPTION);
        return CalibrationEnd::Failed;
    }
    const double difference = static_cast<double>(*reading) - static_cast<double>(context.program.zeroCount);
    context.program.calibrationFactor =
        static_cast<float>(static_cast<double>(context.values.referenceWeight) / difference);

    // The new factor is in force for the run even if the file cannot be
    // written; the operator is told so instead of "Calibracion OK!".
    if (SaveCalibration(context, CALIBRATION_CAPTION))
        context.window.ShowMessage("Calibracion OK!", CALIBRATION_CAPTION, MessageIcon::Information,
                                   MessageButtons::Ok);
    return CalibrationEnd::Done;
}

void FormatInto(std::string& text, const char* format, double value) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, format, value);
    // A net weight just below zero rounds to "-0", which reads as an error.
    if (std::strcmp(buffer, "-0") == 0) std::strcpy(buffer, "0");
    text.assign(buffer);
}

}  // namespace

storage::CalibrationLoad LoadCalibration(ScaleContext& context) {
    storage::CalibrationData data{context.program.calibrationFactor, context.values.lineLimits};
    const storage::CalibrationLoad result = storage::LoadCalibrationFile(context.files, data);
    if (result != storage::CalibrationLoad::Loaded) return result;
    context.program.calibrationFactor = data.factor;
    context.values.lineLimits = data.limits;
    context.fields.ShowLoadedValues();
    return result;
}

bool SaveCalibration(ScaleContext& context, std::string_view caption) {
    const storage::CalibrationData data{context.program.calibrationFactor, context.values.lineLimits};
    if (storage::SaveCalibrationFile(context.files, data)) return true;
    ShowStop(context, CalibrationFileFailure(context), caption);
    return false;
}

std::string CalibrationFileFailure(const ScaleContext& context) {
    return storage::FileFailureMessage("No se pudo guardar el archivo de configuración", storage::CALIBRATION_FILE_PATH,
                                       context.files.LastFailure());
}

void ChooseStartingMode(ScaleContext& context) {
    switch (LoadCalibration(context)) {
        case storage::CalibrationLoad::Loaded:
            context.modes.EnterMode(Mode::Ready);
            context.modes.EnableSaveLimits();
            SendStoredLimits(context);
            break;
        case storage::CalibrationLoad::Missing:
            ShowStop(context,
                     "No se encontro el archivo de configuracion, deberá calibrar la balanza y cargar los limites "
                     "antes de empezar",
                     "Configuración");
            break;
        case storage::CalibrationLoad::Invalid:
            ShowStop(context,
                     "El archivo de configuración no es válido, deberá calibrar la balanza y cargar los límites "
                     "antes de empezar",
                     "Configuración");
            break;
    }
}

void Calibrate(ScaleContext& context) {
    if (!context.fields.ReadFields()) return;
    context.modes.EnterMode(Mode::Calibrating);
    if (RunCalibration(context) == CalibrationEnd::Cancelled)
        ShowStop(context, "Calibración cancelada!", CALIBRATION_CAPTION);
    // Also a cancelled calibration ends ready to work, with the factor it had.
    context.modes.EnterMode(Mode::Ready);
}

void StartTest(ScaleContext& context) {
    context.window.ShowMessage(CLEAR_SCALE, TEST_CAPTION, MessageIcon::Exclamation, MessageButtons::Ok);
    const std::optional<std::uint8_t> zero = context.link.ReadWeight();
    if (!zero) {
        ShowStop(context, READ_FAILED, TEST_CAPTION);
        return;
    }
    context.program.zeroCount = *zero;
    context.modes.EnterMode(Mode::TestMode);
}

void ShowTestReading(ScaleContext& context) {
    const std::optional<std::uint8_t> reading = context.link.ReadWeight();
    if (!reading) {
        // No reading: show nothing rather than a weight that is not there.
        context.values.gramsText.clear();
        context.values.countsText.clear();
    } else {
        // A signed difference: a reading just below the zero is a few grams
        // below zero, not most of the scale's range.
        const int net = static_cast<int>(*reading) - static_cast<int>(context.program.zeroCount);
        FormatInto(context.values.gramsText, "%.0f",
                   static_cast<double>(net) * static_cast<double>(context.program.calibrationFactor));
        char counts[8];
        std::snprintf(counts, sizeof counts, "%u", static_cast<unsigned>(*reading));
        context.values.countsText.assign(counts);
    }
    context.fields.ShowFields();
}

void StopTest(ScaleContext& context) {
    context.modes.EnterMode(Mode::Ready);
    context.values.countsText.assign("0");
    context.values.gramsText.assign("0");
    context.fields.ShowFields();
}

}  // namespace scale
