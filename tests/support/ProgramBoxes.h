// Every message box the program shows, written out once: the tests compare
// whole boxes (text, caption, icon, buttons) against these.
#pragma once

#include <cstdio>
#include <string>

#include "tests/support/FakeWindowServices.h"

namespace testing_support::boxes {

using platform::MessageButtons;
using platform::MessageIcon;

inline MessageRecord Stop(std::string text, std::string caption) {
    return {std::move(text), std::move(caption), MessageIcon::Stop, MessageButtons::Ok};
}

// ---- the main window
inline const MessageRecord FOUND{"Dispositivo Encontrado y Configurado!", "Quelmar", MessageIcon::Information,
                                 MessageButtons::Ok};
inline const MessageRecord WHOLE_NUMBER{"Ingrese un numero entero.", "Quelmar", MessageIcon::Exclamation,
                                        MessageButtons::Ok};
inline MessageRecord Range(int low, int high) {
    char text[64];
    std::snprintf(text, sizeof text, "Ingrese un numero entre %d y %d.", low, high);
    return {text, "Quelmar", MessageIcon::Exclamation, MessageButtons::Ok};
}
inline const MessageRecord CLOSE_QUESTION{"¿Desea salir? Se perderán las estadísticas no guardadas", "Quelmar",
                                          MessageIcon::Exclamation, MessageButtons::OkCancel};

// ---- start-up, calibration and test mode
inline const MessageRecord CONFIGURATION_MISSING =
    Stop("No se encontro el archivo de configuracion, deberá calibrar la balanza y cargar los limites antes de empezar",
         "Configuración");
inline const MessageRecord CONFIGURATION_INVALID =
    Stop("El archivo de configuracion no es valido, deberá calibrar la balanza y cargar los limites antes de empezar",
         "Configuración");
inline const std::string CALIBRATION = "Calibracion de Balanza";
inline const MessageRecord CLEAR_SCALE{"Despeje la balanza,se tomara el cero", CALIBRATION, MessageIcon::Exclamation,
                                       MessageButtons::OkCancel};
inline const MessageRecord PUT_WEIGHT{"Ponga el peso patron sobre la balanza", CALIBRATION, MessageIcon::Exclamation,
                                      MessageButtons::OkCancel};
inline const MessageRecord CALIBRATED{"Calibracion OK!", CALIBRATION, MessageIcon::Information, MessageButtons::Ok};
inline const MessageRecord CALIBRATION_CANCELLED = Stop("Calibración cancelada!", CALIBRATION);
inline const MessageRecord CALIBRATION_UNREAD = Stop("No se pudo leer la balanza", CALIBRATION);
inline const MessageRecord INVALID_READING = Stop("Lectura invalida, repita la calibracion", CALIBRATION);
inline MessageRecord ConfigurationNotSaved(std::string caption) {
    return Stop("No se pudo guardar el archivo de configuracion", std::move(caption));
}
inline const MessageRecord TEST_CLEAR_SCALE{"Despeje la balanza,se tomara el cero", "Prueba de Balanza",
                                            MessageIcon::Exclamation, MessageButtons::Ok};
inline const MessageRecord TEST_UNREAD = Stop("No se pudo leer la balanza", "Prueba de Balanza");

// ---- line limits
inline const std::string LIMITS = "Enviar limites";
inline const MessageRecord LIMITS_SENT{"Nuevos Limites guardados y enviados", "", MessageIcon::None,
                                       MessageButtons::Ok};
inline const MessageRecord LIMITS_OUT_OF_ORDER{"Error en limites", "", MessageIcon::None, MessageButtons::Ok};
inline const MessageRecord LIMITS_NOT_SENT = Stop("No pudo enviarse", LIMITS);
inline const MessageRecord UNCALIBRATED = Stop("Balanza sin calibrar, no se enviaron los limites", LIMITS);
inline const MessageRecord FILE_CANCELLED = Stop("Cancelado", LIMITS);
inline const MessageRecord LIMITS_NOT_SAVED = Stop("No se pudo guardar el archivo de limites", LIMITS);
inline const MessageRecord LIMITS_NOT_READ = Stop("No se pudo leer el archivo de limites", LIMITS);

// ---- work mode
inline const MessageRecord RESET_QUESTION{"Se borraran los datos , quiere continuar?", "Reset de Estadísticas",
                                          MessageIcon::Exclamation, MessageButtons::OkCancel};
inline const MessageRecord RESTART_FAILED = Stop("No pudo enviarse el comando", "Reempezar");
inline const MessageRecord REPORT_NOT_SAVED =
    Stop("No se pudo guardar el archivo de estadisticas", "Guardar Estadistica");

}  // namespace testing_support::boxes
