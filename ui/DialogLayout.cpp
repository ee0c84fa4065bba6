#include "ui/DialogLayout.h"

#include <array>

#include "ui/ControlIds.h"

namespace ui {
namespace {

constexpr unsigned BUTTON = STYLE_TABSTOP;
constexpr unsigned BUTTON_OFF = STYLE_TABSTOP | STYLE_DISABLED;
constexpr unsigned EDIT = STYLE_BORDER | STYLE_RIGHT | STYLE_AUTOHSCROLL | STYLE_TABSTOP;
constexpr unsigned FIGURE = STYLE_CENTER | STYLE_CENTER_VERTICAL | STYLE_THIN_SUNKEN;
constexpr unsigned TEST_FIGURE = STYLE_CENTER | STYLE_CENTER_VERTICAL | STYLE_CLIENT_EDGE;
constexpr unsigned STATE = STYLE_CENTER | STYLE_CENTER_VERTICAL | STYLE_THIN_SUNKEN | STYLE_CLIENT_EDGE;
constexpr unsigned LABEL = STYLE_CENTER | STYLE_CENTER_VERTICAL;

// Rows of the eight lines and of the totals: 20 units between lines 1 and 2,
// 18 after that.
constexpr int ROW_1 = 18, ROW_2 = 38, ROW_3 = 56, ROW_4 = 74, ROW_5 = 92, ROW_6 = 110, ROW_7 = 128, ROW_8 = 146,
              ROW_TOTAL = 165;

constexpr std::array MAIN_CONTROLS = {
    ControlTemplate{IDC_EXIT, ControlKind::PushButton, "&Salir", {238, 18, 71, 11}, BUTTON},
    ControlTemplate{IDC_START_WORK, ControlKind::PushButton, "&Empezar Trabajo", {239, 53, 71, 11}, BUTTON_OFF},
    ControlTemplate{IDC_STOP_WORK, ControlKind::PushButton, "&Detener Trabajo", {239, 69, 71, 11}, BUTTON_OFF},
    ControlTemplate{IDC_CALIBRATE, ControlKind::PushButton, "&Calibración", {237, 116, 71, 11}, BUTTON},
    ControlTemplate{IDC_START_TEST, ControlKind::PushButton, "&Prueba", {237, 131, 71, 11}, BUTTON},
    ControlTemplate{IDC_STOP_TEST, ControlKind::PushButton, "Parar Prue&ba", {237, 146, 71, 11}, BUTTON_OFF},
    ControlTemplate{LIMIT_FIELD_IDS[0], ControlKind::Edit, "", {182, ROW_1, 23, 15}, EDIT},
    ControlTemplate{LIMIT_FIELD_IDS[1], ControlKind::Edit, "", {182, ROW_2, 23, 15}, EDIT},
    ControlTemplate{LIMIT_FIELD_IDS[2], ControlKind::Edit, "", {182, ROW_3, 23, 15}, EDIT},
    ControlTemplate{LIMIT_FIELD_IDS[3], ControlKind::Edit, "", {182, ROW_4, 23, 15}, EDIT},
    ControlTemplate{LIMIT_FIELD_IDS[4], ControlKind::Edit, "", {182, ROW_5, 23, 15}, EDIT},
    ControlTemplate{LIMIT_FIELD_IDS[5], ControlKind::Edit, "", {182, ROW_6, 23, 15}, EDIT},
    ControlTemplate{LIMIT_FIELD_IDS[6], ControlKind::Edit, "", {182, ROW_7, 23, 15}, EDIT},
    ControlTemplate{LIMIT_FIELD_IDS[7], ControlKind::Edit, "", {182, ROW_8, 23, 15}, EDIT},
    ControlTemplate{IDC_SAVE_LIMITS, ControlKind::PushButton, "&Guardar", {172, 169, 42, 11}, BUTTON_OFF},
    ControlTemplate{IDC_LOAD_LIMITS, ControlKind::PushButton, "C&argar", {172, 187, 42, 11}, BUTTON},
    ControlTemplate{IDC_RESET, ControlKind::PushButton, "&Reset", {22, 191, 46, 11}, BUTTON},
    ControlTemplate{IDC_SAVE_STATISTICS, ControlKind::PushButton, "G&uardar Estadistica", {80, 191, 71, 11}, BUTTON},
    ControlTemplate{IDC_RESTART, ControlKind::PushButton, "Reempe&zar", {15, 218, 42, 11}, BUTTON_OFF},
    ControlTemplate{IDC_LINE_COUNT_1 + 0, ControlKind::Static, "0", {55, ROW_1, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_COUNT_1 + 1, ControlKind::Static, "0", {55, ROW_2, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_COUNT_1 + 2, ControlKind::Static, "0", {55, ROW_3, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_COUNT_1 + 3, ControlKind::Static, "0", {55, ROW_4, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_COUNT_1 + 4, ControlKind::Static, "0", {55, ROW_5, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_COUNT_1 + 5, ControlKind::Static, "0", {55, ROW_6, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_COUNT_1 + 6, ControlKind::Static, "0", {55, ROW_7, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_COUNT_1 + 7, ControlKind::Static, "0", {55, ROW_8, 33, 15}, FIGURE},
    ControlTemplate{IDC_TOTAL_COUNT, ControlKind::Static, "0", {55, ROW_TOTAL, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_KILOGRAMS_1 + 0, ControlKind::Static, "0", {113, ROW_1, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_KILOGRAMS_1 + 1, ControlKind::Static, "0", {113, ROW_2, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_KILOGRAMS_1 + 2, ControlKind::Static, "0", {113, ROW_3, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_KILOGRAMS_1 + 3, ControlKind::Static, "0", {113, ROW_4, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_KILOGRAMS_1 + 4, ControlKind::Static, "0", {113, ROW_5, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_KILOGRAMS_1 + 5, ControlKind::Static, "0", {113, ROW_6, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_KILOGRAMS_1 + 6, ControlKind::Static, "0", {113, ROW_7, 33, 15}, FIGURE},
    ControlTemplate{IDC_LINE_KILOGRAMS_1 + 7, ControlKind::Static, "0", {113, ROW_8, 33, 15}, FIGURE},
    ControlTemplate{IDC_TOTAL_KILOGRAMS, ControlKind::Static, "0", {113, ROW_TOTAL, 33, 15}, FIGURE},
    ControlTemplate{IDC_GRAMS, ControlKind::Static, "0", {244, 205, 20, 11}, TEST_FIGURE},
    ControlTemplate{IDC_COUNTS, ControlKind::Static, "0", {284, 205, 20, 11}, TEST_FIGURE},
    ControlTemplate{IDC_STATE, ControlKind::Static, "", {69, 219, 102, 10}, STATE},
    ControlTemplate{IDC_REFERENCE_WEIGHT, ControlKind::Edit, "", {262, 171, 24, 12}, EDIT},
    ControlTemplate{ID_STATIC, ControlKind::GroupBox, "Limites (gramos)", {165, 7, 58, 199}, STYLE_NONE},
    ControlTemplate{ID_STATIC, ControlKind::Static, "Linea 1", {17, ROW_1, 33, 15}, LABEL},
    ControlTemplate{ID_STATIC, ControlKind::Static, "Linea 2", {17, ROW_2, 33, 15}, LABEL},
    ControlTemplate{ID_STATIC, ControlKind::Static, "Linea 3", {17, ROW_3, 33, 15}, LABEL},
    ControlTemplate{ID_STATIC, ControlKind::Static, "Linea 4", {17, ROW_4, 33, 15}, LABEL},
    ControlTemplate{ID_STATIC, ControlKind::Static, "Linea 5", {17, ROW_5, 33, 15}, LABEL},
    ControlTemplate{ID_STATIC, ControlKind::Static, "Linea 6", {17, ROW_6, 33, 15}, LABEL},
    ControlTemplate{ID_STATIC, ControlKind::Static, "Linea 7", {17, ROW_7, 33, 15}, LABEL},
    ControlTemplate{ID_STATIC, ControlKind::Static, "Linea 8", {17, ROW_8, 33, 15}, LABEL},
    ControlTemplate{ID_STATIC, ControlKind::Static, "Totales", {17, ROW_TOTAL, 33, 15}, LABEL},
    ControlTemplate{ID_STATIC, ControlKind::GroupBox, "Cantidades", {50, 8, 43, 179}, STYLE_NONE},
    ControlTemplate{ID_STATIC, ControlKind::GroupBox, "Peso (Kg)", {108, 8, 43, 179}, STYLE_NONE},
    ControlTemplate{ID_STATIC, ControlKind::GroupBox, "Estadísticas", {15, 0, 140, 206}, STYLE_NONE},
    ControlTemplate{ID_STATIC, ControlKind::GroupBox, "Status", {64, 209, 113, 24}, STYLE_NONE},
    ControlTemplate{IDC_WORK_GROUP, ControlKind::GroupBox, "Trabajo", {234, 42, 80, 41}, STYLE_NONE},
    ControlTemplate{ID_STATIC, ControlKind::GroupBox, "Calibración", {234, 105, 80, 118}, STYLE_NONE},
    ControlTemplate{ID_STATIC, ControlKind::GroupBox, "Peso Patrón (gramos)", {237, 161, 73, 26}, STYLE_NONE},
    ControlTemplate{ID_STATIC, ControlKind::GroupBox, "Gramos", {237, 194, 35, 26}, STYLE_NONE},
    ControlTemplate{ID_STATIC, ControlKind::GroupBox, "Cuentas", {277, 194, 35, 26}, STYLE_NONE},
};

constexpr std::array ABOUT_CONTROLS = {
    ControlTemplate{ID_STATIC, ControlKind::Icon, "", {11, 17, 20, 20}, STYLE_NONE},
    ControlTemplate{ID_STATIC, ControlKind::Static, "Quelmar Versión 1.0", {41, 10, 88, 8}, STYLE_NO_PREFIX},
    ControlTemplate{
        IDC_ABOUT_OK, ControlKind::DefaultPushButton, "Aceptar", {142, 7, 50, 14}, STYLE_TABSTOP | STYLE_GROUP},
};

const DialogTemplate MAIN_DIALOG{IDD_QUELMAR_DIALOG, "Quelmar", 323, 235, "Times New Roman", 10, true, true,
                                 MAIN_CONTROLS};
const DialogTemplate ABOUT_DIALOG{IDD_ABOUTBOX, "Acerca de Quelmar", 199, 53, "MS Sans Serif", 8, false,
                                  false,        ABOUT_CONTROLS};

}  // namespace

const DialogTemplate& MainDialogTemplate() { return MAIN_DIALOG; }
const DialogTemplate& AboutDialogTemplate() { return ABOUT_DIALOG; }

const ControlTemplate* FindControl(const DialogTemplate& dialog, int id) {
    for (const ControlTemplate& control : dialog.controls)
        if (control.id == id) return &control;
    return nullptr;
}

Mnemonic ParseMnemonic(std::string_view text) {
    Mnemonic result;
    result.display.reserve(text.size());
    for (std::string_view::size_type i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            result.display += text[i];
            continue;
        }
        if (i + 1 >= text.size()) break;  // a trailing "&" marks nothing
        if (text[i + 1] == '&') {
            result.display += '&';
            ++i;
            continue;
        }
        if (result.letter == 0) {
            result.index = result.display.size();
            result.letter = text[i + 1];
        }
    }
    return result;
}

}  // namespace ui
