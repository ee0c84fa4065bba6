// Work mode: the scale reports each sorted item in a status packet; every
// timer tick takes at most one packet and counts its item on its line and in
// the totals. The statistics survive any number of work periods and return
// to zero only through the reset.
#include "scale/WorkMode.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>

#include "scale/ControlIds.h"
#include "storage/StatisticsReport.h"

namespace scale {

namespace {

constexpr std::uint8_t STATE_WAITING_SYNC = 0;
constexpr std::uint8_t STATE_TAKING_TARES = 1;
constexpr std::uint8_t STATE_WORKING = 2;

constexpr std::size_t STATE_BYTE = 0;
constexpr std::size_t WEIGHT_BYTE = 1;
constexpr std::size_t LINE_BYTE = 3;

// Texts are formatted into a stack buffer and then assigned: the strings keep
// their storage (short texts live inside the string object), so a tick in
// steady state allocates nothing.
void AssignUnsigned(std::string& text, std::uint32_t value) {
    char buffer[16];
    const int length = std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(value));
    if (length > 0) text.assign(buffer, static_cast<std::size_t>(length));
}

// The same digits as "%.2f" (to_chars with a precision formats as printf
// does in the "C" locale) at a tenth of snprintf's cost: a tick counts two
// of these.
void AssignKilograms(std::string& text, double value) {
    char buffer[352];  // the longest fixed form of a double with two decimals
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    if (result.ec == std::errc()) text.assign(buffer, result.ptr);
}

void SetButtons(platform::WindowServices& window, bool working) {
    window.EnableControl(IDC_CALIBRATE, !working);
    window.EnableControl(IDC_START_TEST, !working);
    window.EnableControl(IDC_STOP_WORK, working);
    window.EnableControl(IDC_START_WORK, !working);
    window.EnableControl(IDC_RESTART, working);
}

}  // namespace

int DecodeLine(std::uint8_t lineByte) {
    // Exactly one bit set, or no line at all: the scale never sends two.
    if (lineByte == 0 || (lineByte & (lineByte - 1)) != 0) return 0;
    int line = 1;
    while ((lineByte & 1u) == 0) {
        lineByte = static_cast<std::uint8_t>(lineByte >> 1);
        ++line;
    }
    return line;
}

void CountItem(LineStatistics& statistics, int line, std::uint8_t weightCounts, float calibrationFactor) {
    if (line < 1 || line > LINE_COUNT) return;
    const auto index = static_cast<std::size_t>(line - 1);
    const double kilograms =
        static_cast<double>(weightCounts) * static_cast<double>(calibrationFactor) / 1000.0;

    ++statistics.lineCount[index];
    AssignUnsigned(statistics.lineCountText[index], statistics.lineCount[index]);
    statistics.lineKilograms[index] += kilograms;
    AssignKilograms(statistics.lineKilogramsText[index], statistics.lineKilograms[index]);

    // The totals are kept on their own rather than summed from the lines.
    ++statistics.totalCount;
    statistics.totalKilograms += kilograms;
    AssignUnsigned(statistics.totalCountText, statistics.totalCount);
    AssignKilograms(statistics.totalKilogramsText, statistics.totalKilograms);
}

void StartWork(ScaleContext& context) {
    context.window.StartTimer(TIMER_WORK, TIMER_PERIOD_MS);
    SetButtons(context.window, true);
}

void StopWork(ScaleContext& context) {
    context.values.stateText.clear();
    context.window.StopTimer(TIMER_WORK);
    SetButtons(context.window, false);
    context.fields.ShowFields();
}

void ProcessStatus(ScaleContext& context) {
    if (!context.link.ReadStatus()) return;
    const std::uint8_t* packet = context.link.StatusPacket();
    switch (packet[STATE_BYTE]) {
        case STATE_WAITING_SYNC:
            context.values.stateText.assign("Esperando sincronismo...");
            return;
        case STATE_TAKING_TARES:
            context.values.stateText.assign("Tomando Taras");
            return;
        case STATE_WORKING:
            context.values.stateText.assign("Trabajando");
            break;
        default:
            return;
    }
    const int line = DecodeLine(packet[LINE_BYTE]);
    if (line == 0) return;
    CountItem(context.values.statistics, line, packet[WEIGHT_BYTE], context.program.calibrationFactor);
}

void ConfirmReset(ScaleContext& context) {
    const auto answer = context.window.ShowMessage("Se borraran los datos , quiere continuar?",
                                                   "Reset de Estadísticas", platform::MessageIcon::Exclamation,
                                                   platform::MessageButtons::OkCancel);
    if (answer != platform::MessageResult::Ok) return;
    ResetStatistics(context.values.statistics);
    context.fields.ShowFields();
}

void ResetStatistics(LineStatistics& statistics) {
    for (auto& text : statistics.lineCountText) text.assign("0");
    statistics.totalCountText.assign("0");
    for (auto& text : statistics.lineKilogramsText) text.assign("0");
    statistics.totalKilogramsText.assign("0");
    statistics.lineCount.fill(0);
    statistics.totalCount = 0;
    statistics.lineKilograms.fill(0.0);
    statistics.totalKilograms = 0.0;
}

void Restart(ScaleContext& context) {
    if (context.link.SendRestart()) return;
    context.window.ShowMessage("No pudo enviarse el comando", "Reempezar", platform::MessageIcon::Stop,
                               platform::MessageButtons::Ok);
}

void SaveStatistics(ScaleContext& context) {
    // The report bears the moment the button was pressed, however long the
    // operator keeps the dialog open.
    const platform::LocalDateTime when = context.window.LocalTime();
    // A refused field has shown its prompt; the report is written all the same.
    static_cast<void>(context.fields.ReadFields());

    const auto path = context.window.ChooseFile(storage::StatisticsFileDialog());
    if (!path) return;

    // Work mode may have counted behind the dialog: the figures are taken as
    // they stand now, as the window shows them.
    const LineStatistics& statistics = context.values.statistics;
    storage::ReportFigures figures;
    figures.lineCounts = statistics.lineCountText;
    figures.lineKilograms = statistics.lineKilogramsText;
    figures.totalCount = statistics.totalCountText;
    figures.totalKilograms = statistics.totalKilogramsText;

    const std::string bytes = storage::FormatStatisticsReport(when, figures);
    if (storage::WriteStatisticsReport(context.files, *path, bytes)) return;
    context.window.ShowMessage("No se pudo guardar el archivo de estadisticas", "Guardar Estadistica",
                               platform::MessageIcon::Stop, platform::MessageButtons::Ok);
}

}  // namespace scale
