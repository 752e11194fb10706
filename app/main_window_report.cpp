#include "app/main_window.h"

#include "base/engvalue.h"
#include "app/input_mask_form.h"
#include "noise/step_confidence.h"
#include "report/print_report.h"

#include <QDateTime>
#include <QLineEdit>
#include <QLocale>
#include <QPrinter>

namespace {

/// The system's long time format (hours, minutes and seconds) without the time zone that Qt
/// adds to it: the zone's letters ("t") outside quoted text are dropped.
QString LongTimeFormat(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed();
}

/// Date and time as the operator's system writes them: short date, "/", long time.
QString ReportDateText(const QDateTime &now)
{
    const QLocale locale = QLocale::system();
    return locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char('/') +
           locale.toString(now.time(), LongTimeFormat(locale));
}

}  // namespace

void TForm1::dd_printClick()
{
    TInputMaskeFrm *form = InputMaskeFrm;
    if (!form)
        return;
    const SweepPlan &plan = MeasurementRecord.SweepPlan;

    // The fields that come from the measurement are refilled; the DUT and the remarks keep
    // what the operator typed last time.
    form->le_Engineer->clear();
    form->le_FreqStart->setText(FormatValue(2, fvHz + fvPrefix, plan.Start));
    form->le_FreqStop->setText(FormatValue(2, fvHz + fvPrefix, plan.Stop));
    form->le_NoiseSource->setText(NoiseSource->NoiseSourceText);
    form->le_Date->setText(ReportDateText(QDateTime::currentDateTime()));
    form->le_FreqSteps->setText(QString::number(plan.Steps));
    form->le_Temperature->setText(FormatValue(1, 0, MeasurementRecord.RoomTemperature - 273.15) +
                                  QStringLiteral(" \u00B0C"));
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
    // The sweep's confidence as the step display gives it, from the stored levels.
    try {
        SweepConfidence confidence;
        AssessSweep(confidence, MeasurementRecord, [this](double f) { return LookupEnr(f); },
                    ParseValue(e_Temperature->text()), Graphic->confidenceSettings());
        input.LargestUncertaintyDb = confidence.largestUncertaintyDb(plan.Steps);
        for (size_t i = 0; i < input.OutsideGuidelines.size(); ++i)
            input.OutsideGuidelines[i] = confidence.assessed[i] && confidence.outsideGuidelines[i];
    } catch (const std::exception &) {
        // A room temperature that does not read: the report goes out without them.
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
