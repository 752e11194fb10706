#include "app/main_window.h"

#include "app/input_mask_form.h"
#include "app/results_out.h"
#include "base/engvalue.h"
#include "noise/step_confidence.h"
#include "report/print_report.h"

#include <QLineEdit>
#include <QPrinter>

void TForm1::dd_printClick()
{
    TInputMaskeFrm *form = InputMaskeFrm;
    if (!form)
        return;

    // The fields that come from the measurement are refilled; the DUT and the remarks keep
    // what the operator typed last time.
    form->le_Engineer->clear();
    const ReportTexts filled = ReportTextsOf(MeasurementRecord, NoiseSource->NoiseSourceText);
    form->le_FreqStart->setText(filled.FreqStart);
    form->le_FreqStop->setText(filled.FreqStop);
    form->le_NoiseSource->setText(filled.NoiseSource);
    form->le_Date->setText(filled.Date);
    form->le_FreqSteps->setText(filled.FreqSteps);
    form->le_Temperature->setText(filled.Temperature);
    // A filled field shows the start of its text, as a typed one would.
    for (QLineEdit *e : {form->le_FreqStart, form->le_FreqStop, form->le_NoiseSource,
                         form->le_Date, form->le_FreqSteps, form->le_Temperature})
        e->setCursorPosition(0);

    form->exec();
    if (form->Cancelled != 0)
        return;

    QPrinter printer(QPrinter::HighResolution);
    if (!dialogs().choosePrinter(printer))
        return;

    ReportInput input = ReportInput::fromRecord(MeasurementRecord);
    input.Texts = form->reportTexts();
    const QStringList remarks = form->remarkLines();
    input.Remarks = remarks;
    // A step the display could not evaluate is marked on paper as it is on screen.
    input.EvaluationFailed = Graphic->StepEvaluationFailed;
    // The limits and the verdict as the graph and l_Verdict show them.
    input.Limits = Graphic->Limits;
    input.Verdict = Graphic->verdictText();
    // The sweep's confidence as the step display gives it, from the stored levels; a room
    // temperature that does not read sends the report out without it.
    try {
        FillReportConfidence(input, MeasurementRecord, evaluationContext());
    } catch (const std::exception &) {
    }

    TestReport report(std::move(input));
    if (!TInputMaskeFrm::ConfirmRemarksLeftOff(report.RemarksNotPrinted(ReportPageSizeMm(printer).height())))
        return;
    const bool printed = report.PrintReport(printer);
    // The placeholder line the report removed stays removed in the form.
    if (report.remarks() != remarks)
        form->setRemarkLines(report.remarks());
    if (!printed)
        ShowMessage(MsgType::Error, MsgButtons::Ok,
                    QStringLiteral("Printing failed: the printer '%1' cannot start the job.")
                        .arg(printer.printerName().isEmpty() ? printer.outputFileName()
                                                             : printer.printerName()));
}
