#include "results/bench_export.h"

#include "base/engvalue.h"
#include "base/files.h"
#include "noise/bench_files.h"
#include "noise/yfactor.h"

#include <cmath>

double SourceEnrDb(const NfmEnrSource &source, double hz)
{
    return ToDb(LookupEnr(hz, source.mode, source.enrAllText, source.rows));
}

QList<BenchStepRow> EvaluateBenchSteps(const CompleteMeasurement &m)
{
    const NfmEnrSource &meas = m.measurementEnr;
    const NfmEnrSource &cal = m.calibrationEnr ? *m.calibrationEnr : meas;
    const EnrLookupFunction lookup = [&meas](double hz) {
        return LookupEnr(hz, meas.mode, meas.enrAllText, meas.rows);
    };
    const BenchSetup &b = m.bench;
    QList<BenchStepRow> rows;
    const int steps = std::clamp(int(m.record.SweepPlan.Steps), 0, kMaxStepSlot);
    for (int i = 0; i <= steps; ++i) {
        BenchStepRow row;
        row.step = i;
        row.evaluation = EvaluateStep(m.record, i, lookup, m.roomTemperatureK);
        row.rfHz = row.evaluation.frequencyHz;
        row.ifHz = i < m.calibrationIfsHz.size() ? m.calibrationIfsHz[i] : IfFrequencyHz(b.dutType, b.loHz, row.rfHz);
        bool outsideBefore = false;
        bool outsideAfter = false;
        row.lossBeforeDb = b.lossBefore.lossDbAt(row.rfHz, &outsideBefore);
        row.lossAfterDb = b.lossAfter.lossDbAt(row.ifHz, &outsideAfter);
        row.lossOutsideTable = outsideBefore || outsideAfter;
        StepBench bench;
        bench.roomTemperatureK = m.roomTemperatureK;
        bench.measEnrDb = SourceEnrDb(meas, row.rfHz);
        bench.calEnrDb = SourceEnrDb(cal, row.ifHz);
        bench.lossBeforeDb = row.lossBeforeDb;
        bench.lossBeforeK = b.lossBefore.temperatureAt(m.roomTemperatureK);
        bench.lossAfterDb = row.lossAfterDb;
        bench.lossAfterK = b.lossAfter.temperatureAt(m.roomTemperatureK);
        if (b.isConverter())
            bench.imageRejectionDb = b.imageRejectionDb;
        const StepLevelsDbm levels{row.evaluation.n2offDbm, row.evaluation.n2onDbm, row.evaluation.n12offDbm,
                                   row.evaluation.n12onDbm};
        row.result = CorrectStep(levels, bench);
        if (row.result.ok()) {
            // The limits of error act on the DUT's own figures: the system and analyser noise
            // as measured, the DUT's gain after the corrections; a file's ENR uncertainty
            // replaces the global one where it gives one.
            UncertaintyInputs inputs = m.uncertainty;
            if (const std::optional<double> u = EnrUncertaintyAt(row.rfHz, meas.rows, meas.uncertaintyDb))
                inputs.enrUncertaintyDb = *u;
            const UncertaintyResult u = ComputeUncertainty(ToDb(row.result.systemNoiseFactor),
                                                           ToDb(row.result.analyserNoiseFactor),
                                                           ToDb(row.result.cascadeGain), inputs);
            if (u.valid)
                row.uncertaintyDb = u.uncertaintyDb;
        }
        rows << row;
    }
    return rows;
}

void StoreBenchResults(MeasurementRecord &record, const QList<BenchStepRow> &rows)
{
    for (const BenchStepRow &row : rows) {
        const BenchStepStatus s = row.result.status;
        const bool gain = s == BenchStepStatus::Ok || s == BenchStepStatus::BelowOne;
        record.GainDb[row.step] = gain ? row.result.gainDb : 0;
        record.NoiseFigureDb[row.step] = row.result.ok() ? row.result.noiseFigureDb : -1;
    }
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

QString SourceText(const NfmEnrSource &s)
{
    if (s.mode == 0)
        return QStringLiteral("const. ") + s.enrAllText;
    return QStringLiteral("Table%1").arg(s.mode) + (s.fileName.isEmpty() ? QString() : QStringLiteral(" ") + s.fileName);
}

}  // namespace

CsvExportDetails BenchCsvDetails(const CompleteMeasurement &m, const QDateTime &written)
{
    CsvExportDetails details;
    details.written = written;
    details.noiseSourceText = FromWindows1252(m.record.MeasurementHeader.NoiseSourceText);
    details.enr = {m.measurementEnr.mode, m.measurementEnr.enrAllText, m.measurementEnr.rows};
    details.roomTemperatureK = m.roomTemperatureK;
    details.rbwText = m.analyser.rbwText;
    details.vbwText = m.analyser.vbwText;
    details.averageText = m.analyser.averageText;
    details.reportDetails = m.reportDetails;
    return details;
}

QByteArray BenchCsvText(const CompleteMeasurement &m, CsvExportDetails details)
{
    if (m.bench.isDefault() && !m.calibrationEnr)
        return CsvExportText(CsvStepRows(m.record, details), details);

    const BenchSetup &b = m.bench;
    details.reportDetails << std::pair{QStringLiteral("DUT type"), DutTypeText(b.dutType)};
    if (b.isConverter()) {
        details.reportDetails << std::pair{QStringLiteral("LO (Hz)"), CsvNumber(b.loHz)};
        details.reportDetails << std::pair{QStringLiteral("Image rejection"),
                                           b.imageRejectionDb ? CsvNumber(*b.imageRejectionDb) + QStringLiteral(" dB") : QStringLiteral("SSB")};
    }
    details.reportDetails << std::pair{QStringLiteral("Loss before"), LossText(b.lossBefore, m.roomTemperatureK)};
    details.reportDetails << std::pair{QStringLiteral("Loss after"), LossText(b.lossAfter, m.roomTemperatureK)};
    details.reportDetails << std::pair{QStringLiteral("Measurement ENR"), SourceText(m.measurementEnr)};
    details.reportDetails << std::pair{QStringLiteral("Calibration ENR"),
                                       m.calibrationEnr ? SourceText(*m.calibrationEnr) : QStringLiteral("as measurement")};

    const QList<BenchStepRow> bench = EvaluateBenchSteps(m);
    QList<CsvStepRow> rows;
    for (const BenchStepRow &r : bench) {
        CsvStepRow row = CsvStepRowOf(r.step, r.evaluation);
        row.gainDb.reset();
        row.noiseFigureDb.reset();
        row.noiseFactor.reset();
        row.noiseTemperatureK.reset();
        const BenchStepStatus s = r.result.status;
        if (s == BenchStepStatus::Ok || s == BenchStepStatus::BelowOne)
            row.gainDb = r.result.gainDb;
        if (r.result.ok()) {
            row.noiseFigureDb = r.result.noiseFigureDb;
            row.noiseFactor = r.result.noiseFactor;
            row.noiseTemperatureK = kT0Kelvin * (r.result.noiseFactor - 1);
        }
        rows << row;
    }
    QList<CsvColumn> columns = StepCsvColumns();
    auto at = [bench](const CsvStepRow &row) -> const BenchStepRow & { return bench[row.step]; };
    columns.insert(1, {QStringLiteral("IF (Hz)"), [at](const CsvStepRow &row) { return CsvNumber(at(row).ifHz); }});
    columns << CsvColumn{QStringLiteral("Loss before (dB)"), [at](const CsvStepRow &row) { return CsvNumber(at(row).lossBeforeDb); }};
    columns << CsvColumn{QStringLiteral("Loss after (dB)"), [at](const CsvStepRow &row) { return CsvNumber(at(row).lossAfterDb); }};
    columns << CsvColumn{QStringLiteral("Uncertainty (dB)"), [at](const CsvStepRow &row) { return CsvNumber(at(row).uncertaintyDb); }};
    return CsvExportText(rows, details, columns);
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
