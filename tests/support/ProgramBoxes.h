// Every message box the program shows, written out once for whole-box comparisons.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/FakeWindowServices.h"

namespace testing_support::boxes {

using platform::MessageButtons;
using Icon = platform::MessageIcon;
using Boxes = std::vector<MessageRecord>;

inline MessageRecord Box(std::string text, std::string caption, Icon icon, bool okCancel = false) {
    return {std::move(text), std::move(caption), icon, okCancel ? MessageButtons::OkCancel : MessageButtons::Ok};
}
inline MessageRecord Stop(std::string text, std::string caption) { return Box(text, caption, Icon::Stop); }
inline MessageRecord Ask(std::string text, std::string caption) { return Box(text, caption, Icon::Exclamation, true); }

// ---- the main window
inline const MessageRecord FOUND = Box("Dispositivo Encontrado y Configurado!", "Quelmar", Icon::Information);
inline MessageRecord Range(int low, int high, const char* format = "Ingrese un número entre %d y %d.") {
    char text[64];
    std::snprintf(text, sizeof text, format, low, high);
    return Box(text, "Quelmar", Icon::Exclamation);
}
inline MessageRecord WholeNumber(int low, int high) {
    return Range(low, high, "Ingrese un número entero entre %d y %d.");
}
// Leaving in work mode: Cancel is the default; the text says whether the shift is kept on disk.
inline const MessageRecord LEAVE_KEPT{
    "¿Desea salir? El conteo se detiene; todo lo contado está guardado y se recupera al "
    "volver a abrir el programa.",
    "Quelmar", Icon::Exclamation, MessageButtons::OkCancelDefaultCancel};
inline const MessageRecord LEAVE_LOST{
    "¿Desea salir? El conteo se detiene y las estadísticas, que no pudieron guardarse "
    "en el disco, se perderán.",
    "Quelmar", Icon::Exclamation, MessageButtons::OkCancelDefaultCancel};

// ---- start-up, calibration and test mode
inline const MessageRecord CONFIGURATION_MISSING =
    Stop("No se encontro el archivo de configuracion, deberá calibrar la balanza y cargar los limites antes de empezar",
         "Configuración");
inline const MessageRecord CONFIGURATION_INVALID =
    Stop("El archivo de configuración no es válido, deberá calibrar la balanza y cargar los límites antes de empezar",
         "Configuración");
inline const std::string CALIBRATION = "Calibracion de Balanza";
inline const MessageRecord CLEAR_SCALE = Ask("Despeje la balanza,se tomara el cero", CALIBRATION);
inline const MessageRecord PUT_WEIGHT = Ask("Ponga el peso patron sobre la balanza", CALIBRATION);
inline const MessageRecord CALIBRATED = Box("Calibracion OK!", CALIBRATION, Icon::Information);
inline const MessageRecord CALIBRATION_CANCELLED = Stop("Calibración cancelada!", CALIBRATION);
inline const MessageRecord CALIBRATION_UNREAD = Stop("No se pudo leer la balanza", CALIBRATION);
inline const MessageRecord INVALID_READING = Stop("Lectura inválida, repita la calibración", CALIBRATION);
// A file that could not be written or read: the file and the cause are named.
inline std::string FileFailed(std::string what, std::string path, std::string cause = "la carpeta no existe") {
    return "No se pudo " + what + " " + path + ": " + cause + ".";
}
inline std::string CalibrationFileFailed(std::string cause = "la carpeta no existe") {
    return FileFailed("guardar el archivo de configuración", "c:\\velsor\\usb.ini", cause);
}
inline MessageRecord ConfigurationNotSaved(std::string caption) { return Stop(CalibrationFileFailed(), caption); }
inline const MessageRecord TEST_CLEAR_SCALE =
    Box("Despeje la balanza,se tomara el cero", "Prueba de Balanza", Icon::Exclamation);
inline const MessageRecord TEST_UNREAD = Stop("No se pudo leer la balanza", "Prueba de Balanza");

// ---- line limits
inline const std::string LIMITS = "Enviar limites";
inline const MessageRecord LIMITS_SENT = Box("Nuevos Limites guardados y enviados", "", Icon::None);
inline const MessageRecord LIMITS_OUT_OF_ORDER = Box("Error en limites", "", Icon::None);
inline const MessageRecord LIMITS_NOT_SENT = Stop("No pudo enviarse", LIMITS);
inline const MessageRecord UNCALIBRATED = Stop("Balanza sin calibrar, no se enviaron los límites", LIMITS);
inline const MessageRecord FILE_CANCELLED = Stop("Cancelado", LIMITS);
inline const std::string LIMITS_SENT_ONLY = "Los límites se enviaron a la balanza";
// "&Guardar": the send's outcome, then each file that could not be written, by FileFailed.
inline MessageRecord SavedInPart(std::string sent, std::vector<std::string> failures) {
    sent += ".";
    for (const std::string& failure : failures) sent += " " + failure;
    return Stop(sent, LIMITS);
}
inline std::string LimitsFileFailed(std::string path, std::string cause = "la carpeta no existe") {
    return FileFailed("guardar el archivo de límites", path, cause);
}
inline MessageRecord LimitsNotRead(std::string path, std::string cause) {
    return Stop(FileFailed("leer el archivo de límites", path, cause), LIMITS);
}

// ---- work mode
inline const MessageRecord RESET_QUESTION = Ask("Se borraran los datos , quiere continuar?", "Reset de Estadísticas");
inline const MessageRecord RESTART_FAILED = Stop("No pudo enviarse el comando", "Reempezar");
inline MessageRecord ReportNotSaved(std::string path, std::string cause = "la carpeta no existe") {
    return Stop(FileFailed("guardar el archivo de estadísticas", path, cause), "Guardar Estadística");
}

}  // namespace testing_support::boxes
