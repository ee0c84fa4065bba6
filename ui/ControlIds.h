// Control and command ids of the main window (template 102), the About box
// (template 100), the timers and the system-menu item: the window's own
// names, beside its layout table (DialogLayout.cpp).
#pragma once

#include <array>

namespace ui {

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_QUELMAR_DIALOG = 102;
constexpr int IDR_MAINFRAME = 128;  // AppIcon

constexpr int SYSMENU_ABOUT_ID = 16;

constexpr int IDC_EXIT = 1000;          // "&Salir"
constexpr int IDC_START_WORK = 1002;    // "&Empezar Trabajo"
constexpr int IDC_CALIBRATE = 1003;     // "&Calibración"
constexpr int IDC_LIMIT_1 = 1008;       // limit fields: 1008, 1010..1016
constexpr int IDC_LINE_COUNT_1 = 1017;  // 1017..1024, total 1025
constexpr int IDC_TOTAL_COUNT = 1025;
constexpr int IDC_LINE_KILOGRAMS_1 = 1026;  // 1026..1033, total 1034
constexpr int IDC_TOTAL_KILOGRAMS = 1034;
constexpr int IDC_SAVE_STATISTICS = 1035;  // "G&uardar Estadistica"
constexpr int IDC_SAVE_LIMITS = 1036;      // "&Guardar"
constexpr int IDC_LOAD_LIMITS = 1037;      // "C&argar"
constexpr int IDC_GRAMS = 1038;
constexpr int IDC_COUNTS = 1039;
constexpr int IDC_START_TEST = 1040;  // "&Prueba"
constexpr int IDC_STOP_TEST = 1041;   // "Parar Prue&ba"
constexpr int IDC_STOP_WORK = 1042;   // "&Detener Trabajo"
constexpr int IDC_STATE = 1043;
constexpr int IDC_RESTART = 1044;     // "Reempe&zar"
constexpr int IDC_RESET = 1045;       // "&Reset"
constexpr int IDC_WORK_GROUP = 1047;  // group box "Trabajo"
constexpr int IDC_REFERENCE_WEIGHT = 1050;

constexpr int IDC_ABOUT_OK = 1;  // "Aceptar" (IDOK)

// Limit field of line n (1 to 8) is LIMIT_FIELD_IDS[n - 1]; the ids jump
// from 1008 to 1010.
constexpr std::array<int, 8> LIMIT_FIELD_IDS = {1008, 1010, 1011, 1012, 1013, 1014, 1015, 1016};

constexpr int TIMER_TEST = 1;
constexpr int TIMER_WORK = 3;
// Runs only while the scale is lost in a mode with no timer of its own.
constexpr int TIMER_RECONNECT = 4;
constexpr unsigned TIMER_PERIOD_MS = 100;

}  // namespace ui
