#include "app/cli_parts.h"

#include "app/core/entry_rules.h"
#include "base/engvalue.h"
#include "base/errors.h"
#include "base/files.h"
#include "base/version.h"
#include "noise/bench_files.h"
#include "noise/enr_files.h"
#include "noise/enr_store.h"
#include "noise/yfactor.h"
#include "run/designed_options.h"

#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace cli {

namespace {

/// A temperature as e_Temperature reads it: "21 °C", "21", "77 K".
double TemperatureOption(const Invocation &inv, const char *name)
{
    const double k = ParseValue(FieldValue(inv, name, EntryKind::Temperature, DesignedOptions::temperatureText()));
    if (!std::isfinite(k) || k < 0)
        Usage(QStringLiteral("--%1 '%2' lies below 0 K").arg(QString::fromLatin1(name), inv.value(name)));
    return k;
}

double FrequencyText(const QString &text)
{
    return ParseValue(FieldTextOf(EntryKind::Frequency, text, QString()));
}

LossSetting LossOption(const Invocation &inv, const char *name, const char *tempName)
{
    LossSetting loss;
    if (inv.has(name)) {
        const QString value = inv.value(name);
        if (value.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) || QFileInfo(value).isFile()) {
            try {
                loss.table = ReadLossTableFile(value, FrequencyText);
            } catch (const AppError &e) {
                Fail(value, e.message());
            }
            loss.mode = LossMode::Table;
            loss.tableFile = QFileInfo(value).fileName();
        } else {
            const double linear = ParseValue(FieldValue(inv, name, EntryKind::Range, QStringLiteral("0 dB")));
            if (!(linear >= 1) || !std::isfinite(linear))
                Usage(QStringLiteral("--%1 '%2' is not a loss of 0 dB or more").arg(QString::fromLatin1(name), value));
            loss.mode = LossMode::Fixed;
            loss.fixedDb = 10 * std::log10(linear);
        }
    }
    if (inv.has(tempName)) {
        if (!inv.has(name))
            Usage(QStringLiteral("--%1 needs --%2").arg(QString::fromLatin1(tempName), QString::fromLatin1(name)));
        loss.temperatureK = TemperatureOption(inv, tempName);
    }
    return loss;
}

}  // namespace

EnrChoice ChooseEnrOrFile(const Invocation &inv, int mode)
{
    if (!inv.has("enr-file"))
        return ChooseEnr(inv, mode);
    if (inv.has("enr") || inv.has("enr-table"))
        Usage(QStringLiteral("--enr-file excludes --enr and --enr-table"));
    const QString path = inv.value("enr-file");
    EnrChoice c;
    c.source.enrAllText = DesignedOptions::enrAllText();
    try {
        const EnrFileTable table = EnrFileTableOf(ReadEnrDataFile(path));
        c.source.rows = table.rows;
        c.source.uncertaintyDb = table.uncertaintyDb;
        c.source.dataFileRows = table.points;
        if (table.textCut)
            Note(QStringLiteral("%1: the model and serial number are cut to %2 characters").arg(path).arg(kNoiseSourceTextLimit));
        c.noiseSourceText = table.noiseSourceText.isEmpty() ? NoiseSourceTextForTable(1, path) : table.noiseSourceText;
        c.csvSourceText = c.noiseSourceText;
    } catch (const AppError &e) {
        Fail(path, e.message());
    }
    c.source.mode = EnrTable1;
    c.fileName = path;
    return c;
}

BenchChoice ChooseBench(const Invocation &inv)
{
    BenchChoice c;
    BenchSetup &b = c.bench;
    b.lossBefore = LossOption(inv, "loss-before", "loss-before-temp");
    b.lossAfter = LossOption(inv, "loss-after", "loss-after-temp");
    if (inv.has("dut")) {
        const std::optional<DutType> type = DutTypeFromKey(inv.value("dut"));
        if (!type)
            Usage(QStringLiteral("--dut must be one of amplifier, down, up"));
        b.dutType = *type;
    }
    if (b.isConverter()) {
        if (!inv.has("lo"))
            Usage(QStringLiteral("--dut %1 needs --lo F").arg(DutTypeKey(b.dutType)));
        b.loHz = ParseValue(FieldValue(inv, "lo", EntryKind::Frequency, QString()));
        if (!(b.loHz > 0))
            Usage(QStringLiteral("--lo must lie above 0 Hz"));
        if (inv.has("image-rejection") && inv.value("image-rejection").trimmed().compare(QLatin1String("ssb"), Qt::CaseInsensitive) != 0) {
            const QString text = FieldValue(inv, "image-rejection", EntryKind::Range, QStringLiteral("0 dB"));
            b.imageRejectionDb = ToDb(ParseValue(text));
            if (ParseValue(text) <= 0)
                Usage(QStringLiteral("--image-rejection takes DB or ssb"));
        }
    } else if (inv.has("lo") || inv.has("image-rejection")) {
        Usage(QStringLiteral("--lo and --image-rejection need --dut down or --dut up"));
    }
    if (inv.has("cal-enr") && inv.has("cal-enr-table"))
        Usage(QStringLiteral("--cal-enr and --cal-enr-table exclude each other"));
    if (inv.has("cal-enr")) {
        NfmEnrSource s;
        s.mode = EnrAll;
        s.enrAllText = FieldValue(inv, "cal-enr", EntryKind::Range, DesignedOptions::enrAllText());
        c.calibration = s;
        b.calSource = EnrAll;
    } else if (inv.has("cal-enr-table")) {
        const QString path = inv.value("cal-enr-table");
        if (!QFileInfo(path).isFile())
            Fail(path, QStringLiteral("File do not exists !"));
        NfmEnrSource s;
        try {
            s.rows = LimitEnrRows(ReadEnrTabFile(path));
        } catch (const AppError &e) {
            Fail(path, e.message());
        }
        s.mode = EnrTable2;
        s.enrAllText = DesignedOptions::enrAllText();
        s.fileName = path;
        c.calibration = s;
        b.calSource = EnrTable2;
    }
    return c;
}

bool BenchGiven(const BenchChoice &bench)
{
    return !bench.bench.isDefault() || bench.calibration.has_value();
}

EvaluationContext BenchContextOf(const EnrChoice &enr, const BenchChoice &bench, double roomK)
{
    EvaluationContext context = ContextOf(enr, roomK);
    context.bench = bench.bench;
    if (bench.calibration)
        context.calibrationEnr = EnrSourceOf(*bench.calibration);
    return context;
}

CompleteMeasurement CompleteOf(const MeasurementRecord &record, const EnrChoice &enr, const BenchChoice &bench,
                               double roomK)
{
    CompleteMeasurement m;
    m.record = record;
    m.roomTemperatureK = roomK;
    m.temperatureText = FormatValue(1, 0, roomK - 273.15) + QStringLiteral(" \u00B0C");
    const HeaderSettingTexts texts = SettingTextsOf(record.MeasurementHeader);
    m.analyser.rbwText = texts.rbw;
    m.analyser.vbwText = texts.vbw;
    m.analyser.vbwIndex = record.MeasurementHeader.VbwIndex;
    m.analyser.averageText = texts.average;
    const SetupSettings designed = DesignedOptions::setupSettings(record.SweepPlan.Start);
    m.analyser.rfAttText = designed.rfAttText;
    m.analyser.refLevelText = designed.refLevelText;
    m.analyser.rangeText = designed.rangeText;
    m.measurementEnr.mode = enr.source.mode;
    m.measurementEnr.enrAllText = enr.source.enrAllText;
    m.measurementEnr.rows = enr.source.rows;
    m.measurementEnr.uncertaintyDb = enr.source.uncertaintyDb;
    m.measurementEnr.dataFileRows = enr.source.dataFileRows;
    m.measurementEnr.fileName = enr.fileName;
    m.calibrationEnr = bench.calibration;
    m.bench = bench.bench;
    for (int i = 0; i <= std::clamp(int(record.SweepPlan.Steps), 0, kMaxStepSlot); ++i)
        m.calibrationIfsHz << record.SweepPlan.tuneHz(i);
    m.programVersion = VersionText();
    return m;
}

void WriteBenchCsv(const QString &path, const CompleteMeasurement &m, const QList<CsvColumn> &extraColumns)
{
    QString error;
    try {
        CsvExportDetails details = MeasurementCsvDetails(m.record, EvaluationContextOf(m), QString());
        details.reportDetails = m.reportDetails;
        details.measured = m.measuredAt;
        const QByteArray text = BenchCsvText(m, details, extraColumns);
        if (IsStandardOutput(path)) {
            if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size())
                || std::fflush(stdout) != 0)
                Fail(QStringLiteral("standard output"), QString::fromLocal8Bit(std::strerror(errno)));
        } else if (!WriteFileAtomically(path, text, &error)) {
            Fail(path, error);
        }
    } catch (const AppError &e) {
        Fail(path, e.message());
    }
}

}  // namespace cli
