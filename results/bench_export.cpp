#include "results/bench_export.h"

#include "base/engvalue.h"
#include "base/files.h"
#include "noise/bench_files.h"
#include "noise/yfactor.h"

#include <cmath>
#include <limits>

EnrSource EnrSourceOf(const NfmEnrSource &source)
{
    EnrSource s;
    s.mode = source.mode;
    s.enrAllText = source.enrAllText;
    s.rows = source.rows;
    s.uncertaintyDb = source.uncertaintyDb;
    s.dataFileRows = source.dataFileRows;
    return s;
}

EvaluationContext EvaluationContextOf(const CompleteMeasurement &m)
{
    EvaluationContext c;
    c.enr = EnrSourceOf(m.measurementEnr);
    if (m.calibrationEnr)
        c.calibrationEnr = EnrSourceOf(*m.calibrationEnr);
    c.roomTemperatureK = m.roomTemperatureK;
    c.uncertainty = m.uncertainty;
    c.bench = m.bench;
    // The headroom check needs the reference level the analyser was set to; one that does not
    // read leaves it unchecked, as in the window.
    try {
        if (!m.analyser.refLevelText.trimmed().isEmpty())
            c.refLevelDbm = ToDb(ParseValue(m.analyser.refLevelText));
    } catch (...) {
        c.refLevelDbm = std::numeric_limits<double>::infinity();
    }
    return c;
}

QList<StepEvaluation> EvaluateBenchSteps(const CompleteMeasurement &m)
{
    const EvaluationContext context = EvaluationContextOf(m);
    QList<StepEvaluation> rows;
    const int steps = std::clamp(int(m.record.SweepPlan.Steps), 0, kMaxStepSlot);
    for (int i = 0; i <= steps; ++i)
        rows << EvaluateStep(m.record, i, context);
    return rows;
}

namespace {

QString LossText(const LossSetting &loss, double roomK)
{
    QString t;
    switch (loss.mode) {
    case LossMode::Off:
        return QStringLiteral("off");
    case LossMode::Fixed:
        t = CsvNumber(loss.fixedDb) + QStringLiteral(" dB");
        break;
    case LossMode::Table:
        t = QStringLiteral("table ") + (loss.tableFile.isEmpty() ? QStringLiteral("(%1 points)").arg(loss.table.size()) : loss.tableFile);
        break;
    }
    return t + QStringLiteral(" at ") + CsvNumber(loss.temperatureAt(roomK)) + QStringLiteral(" K");
}

}  // namespace

QString EnrSourceText(const NfmEnrSource &s)
{
    if (s.mode == 0)
        return QStringLiteral("const. ") + s.enrAllText;
    return QStringLiteral("Table%1").arg(s.mode) + (s.fileName.isEmpty() ? QString() : QStringLiteral(" ") + s.fileName);
}

CsvExportDetails BenchCsvDetails(const CompleteMeasurement &m, const QDateTime &written)
{
    CsvExportDetails details;
    details.written = written;
    details.noiseSourceText = FromWindows1252(m.record.MeasurementHeader.NoiseSourceText);
    details.context = EvaluationContextOf(m);
    details.rbwText = m.analyser.rbwText;
    details.vbwText = m.analyser.vbwText;
    details.averageText = m.analyser.averageText;
    details.reportDetails = m.reportDetails;
    return details;
}

QByteArray BenchCsvText(const CompleteMeasurement &m, CsvExportDetails details, const QList<CsvColumn> &extraColumns)
{
    details.context = EvaluationContextOf(m);
    if (!details.context.corrects())
        return CsvExportText(CsvStepRows(m.record, details), details, StepCsvColumns() + extraColumns);

    const BenchSetup &b = m.bench;
    details.reportDetails << std::pair{QStringLiteral("DUT type"), DutTypeText(b.dutType)};
    if (b.isConverter()) {
        details.reportDetails << std::pair{QStringLiteral("LO (Hz)"), CsvNumber(b.loHz)};
        details.reportDetails << std::pair{QStringLiteral("Image rejection"),
                                           b.imageRejectionDb ? CsvNumber(*b.imageRejectionDb) + QStringLiteral(" dB") : QStringLiteral("SSB")};
    }
    details.reportDetails << std::pair{QStringLiteral("Loss before"), LossText(b.lossBefore, m.roomTemperatureK)};
    details.reportDetails << std::pair{QStringLiteral("Loss after"), LossText(b.lossAfter, m.roomTemperatureK)};
    details.reportDetails << std::pair{QStringLiteral("Measurement ENR"), EnrSourceText(m.measurementEnr)};
    details.reportDetails << std::pair{QStringLiteral("Calibration ENR"),
                                       m.calibrationEnr ? EnrSourceText(*m.calibrationEnr) : QStringLiteral("as measurement")};

    const QList<StepEvaluation> steps = EvaluateBenchSteps(m);
    QList<CsvStepRow> rows;
    for (int i = 0; i < steps.size(); ++i)
        rows << CsvStepRowOf(i, steps[i]);
    QList<CsvColumn> columns = StepCsvColumns();
    auto at = [steps](const CsvStepRow &row) -> const StepEvaluation & { return steps[row.step]; };
    columns.insert(1, {QStringLiteral("IF (Hz)"), [at](const CsvStepRow &row) { return CsvNumber(at(row).tuneHz); }});
    columns << CsvColumn{QStringLiteral("Loss before (dB)"), [at](const CsvStepRow &row) { return CsvNumber(at(row).lossBeforeDb); }};
    columns << CsvColumn{QStringLiteral("Loss after (dB)"), [at](const CsvStepRow &row) { return CsvNumber(at(row).lossAfterDb); }};
    return CsvExportText(rows, details, columns + extraColumns);
}

QStringList SettingsMeaCannotHold(const CompleteMeasurement &m)
{
    QStringList s;
    const BenchSetup &b = m.bench;
    if (b.lossBefore.active())
        s << QStringLiteral("loss before the DUT");
    if (b.lossAfter.active())
        s << QStringLiteral("loss after the DUT");
    if (b.isConverter())
        s << QStringLiteral("DUT type, LO and image rejection");
    if (m.calibrationEnr || b.calSource != kCalSourceAsMeasurement)
        s << QStringLiteral("calibration noise source");
    for (const std::optional<double> &u : m.measurementEnr.uncertaintyDb)
        if (u) {
            s << QStringLiteral("ENR uncertainties of the noise source's file");
            break;
        }
    return s;
}

QString MeaKeepsNotText(const QStringList &lost)
{
    return QStringLiteral("A measurement file (*.mea) cannot keep these settings of the measurement: %1.")
               .arg(lost.join(QStringLiteral(", ")))
           + QStringLiteral("\n\r")
           + QStringLiteral("Read again, it gives other results. Save as \"Complete measurement (*.nfm)\" to keep them, "
                            "or OK to save without them.");
}
