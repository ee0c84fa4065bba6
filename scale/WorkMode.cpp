// Work mode: the scale reports each sorted item in a status packet; every
// timer tick takes at most one packet and counts its item on its line and in
// the totals. The statistics survive any number of work periods and return
// to zero only through the reset.
#include "scale/WorkMode.h"

#include "storage/StatisticsReport.h"

namespace scale {

void StartWork(ScaleContext& context) { context.modes.EnterMode(Mode::WorkMode); }

void StopWork(ScaleContext& context) {
    context.values.stateText.clear();
    context.modes.EnterMode(Mode::Ready);
    context.fields.ShowFields();
}

void ProcessStatus(ScaleContext& context) {
    if (!context.link.ReadStatus()) return;
    const StatusReading status = DecodeStatus(context.link.StatusPacket());
    switch (status.state) {
        case STATE_WAITING_SYNC: context.values.stateText.assign("Esperando sincronismo..."); return;
        case STATE_TAKING_TARES: context.values.stateText.assign("Tomando Taras"); return;
        case STATE_WORKING: context.values.stateText.assign("Trabajando"); break;
        default: return;
    }
    if (status.line == 0) return;
    const float factor = context.program.calibrationFactor;
    CountItem(context.values.statistics, status.line, status.weightCounts, factor);
    // Stored before the tick shows it: what the operator sees is on disk.
    context.shift.Record({status.line, status.weightCounts, factor, ItemKilograms(status.weightCounts, factor)},
                         ShiftFiguresOf(context.values.statistics));
    ReportShiftFailure(context);
}

void ReportShiftFailure(ScaleContext& context) {
    const std::string failure = context.shift.TakeFailure();
    if (failure.empty()) return;
    context.window.ShowMessage(failure, "Estadísticas", platform::MessageIcon::Stop, platform::MessageButtons::Ok);
}

void RestoreShift(ScaleContext& context) {
    ReportShiftFailure(context);
    const storage::ShiftFigures& figures = context.shift.Figures();
    if (figures.IsZero()) return;
    LineStatistics& statistics = context.values.statistics;
    RestoreStatistics(statistics, figures);
    context.fields.ShowFields();
    context.window.ShowMessage("Se restauraron las estadísticas del turno anterior: " + statistics.totalCountText +
                                   " piezas, " + statistics.totalKilogramsText + " Kg.",
                               "Estadísticas", platform::MessageIcon::Information, platform::MessageButtons::Ok);
}

void ConfirmReset(ScaleContext& context) {
    const auto answer =
        context.window.ShowMessage("Se borraran los datos , quiere continuar?", "Reset de Estadísticas",
                                   platform::MessageIcon::Exclamation, platform::MessageButtons::OkCancel);
    if (answer != platform::MessageResult::Ok) return;
    ResetStatistics(context.values.statistics);
    context.shift.Reset();
    ReportShiftFailure(context);
    context.fields.ShowFields();
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
    context.window.ShowMessage(storage::FileFailureMessage("No se pudo guardar el archivo de estadísticas", *path,
                                                           context.files.LastFailure()),
                               "Guardar Estadística", platform::MessageIcon::Stop, platform::MessageButtons::Ok);
}

}  // namespace scale
