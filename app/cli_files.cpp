#include "app/cli_parts.h"

#include "base/errors.h"
#include "base/files.h"
#include "base/version.h"
#include "report/print_report.h"
#include "results/measurement_file.h"
#include "run/sweep_plan.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPdfWriter>

namespace cli {

namespace {

// ---- Measurement files -------------------------------------------------------------------------

CompleteMeasurement LoadNfm(const QString &path)
{
    NfmDecodeResult loaded;
    try {
        loaded = LoadCompleteMeasurementFile(path);
    } catch (const AppError &e) {
        Fail(path, e.message());
    }
    if (loaded.status == NfmStatus::Missing)
        Fail(path, QStringLiteral("File do not exists !"));
    if (loaded.status != NfmStatus::Loaded)
        Fail(QString(), loaded.message);
    return std::move(loaded.measurement);
}

MeasurementRecord LoadMea(const QString &path)
{
    if (IsCompleteMeasurementFileName(path))
        return LoadNfm(path).record;
    MeasurementLoadResult loaded;
    try {
        loaded = LoadMeasurementFile(path);
    } catch (const AppError &e) {
        Fail(path, e.message());
    }
    switch (loaded.status) {
    case MeasurementLoadStatus::Missing: Fail(path, QStringLiteral("File do not exists !"));
    case MeasurementLoadStatus::Corrupt: Fail(path, QStringLiteral("File corrupt !"));
    case MeasurementLoadStatus::Loaded: break;
    }
    return std::move(loaded.record);
}

/// A complete measurement exported through its bench: the CSV with the columns of the limits in
/// force, the JSON, and the verdict as the exit status.
int ExportComplete(const Invocation &inv, const QString &out, const CompleteMeasurement &m)
{
    const LimitSet limits = LimitsOption(inv);
    const EvaluationContext context = EvaluationContextOf(m);
    const QList<StepLimitResult> results = StepResults(m.record, context, limits);
    WriteBenchCsv(out, m, LimitCsvColumns(limits, results));
    WriteJson(inv, m.record, context, EnrSourceText(m.measurementEnr), limits, results, QString());
    return ReportVerdict(limits, results);
}

}  // namespace

// ---- export ------------------------------------------------------------------------------------

int RunExport(const Invocation &inv)
{
    const QFileInfo mea(inv.file);
    const QString out = inv.has("output") ? inv.value("output")
                        : inv.has("run")  ? QStringLiteral("run-%1.csv").arg(inv.value("run"))
                                          : mea.dir().filePath(mea.completeBaseName() + QStringLiteral(".csv"));
    if (IsCompleteMeasurementFileName(inv.file) && !inv.has("run")) {
        // The file carries its own settings; the options of a .mea would only contradict them.
        for (const char *name : {"temperature", "enr", "enr-table", "enr-file", "loss-before", "loss-before-temp",
                                 "loss-after", "loss-after-temp", "dut", "lo", "image-rejection", "cal-enr", "cal-enr-table"})
            if (inv.has(name))
                Usage(QStringLiteral("--%1 does not apply to a complete measurement file").arg(QString::fromLatin1(name)));
        return ExportComplete(inv, out, LoadNfm(inv.file));
    }
    bool complete = false;
    const CompleteMeasurement run = inv.has("run") ? HistoryRunMeasurement(inv, &complete) : CompleteMeasurement();
    MeasurementRecord record = inv.has("run") ? run.record : LoadMea(inv.file);
    const EnrChoice enr = ChooseEnrOrFile(inv, record.MeasurementHeader.EnrSource);
    const BenchChoice bench = ChooseBench(inv);
    // A run measured through a bench is exported through it, as its measure wrote its CSV,
    // unless the command line names a bench of its own.
    if (complete && !BenchGiven(bench) && EvaluationContextOf(run).corrects()) {
        return ExportComplete(inv, out, run);
    }
    if (BenchGiven(bench)) {
        record.SweepPlan.Conversion = bench.bench.dutType;
        record.SweepPlan.LoHz = bench.bench.loHz;
        const IfPlan ifPlan = PlanIfs(bench.bench.dutType, bench.bench.loHz, PlanRfs(record.SweepPlan));
        if (!ifPlan.ok())
            Usage(ifPlan.refusal);
        return ExportComplete(inv, out, CompleteOf(record, enr, bench, RoomTemperatureK(inv)));
    }
    const EvaluationContext context = ContextOf(enr, RoomTemperatureK(inv));
    const LimitSet limits = LimitsOption(inv);
    const QList<StepLimitResult> results = StepResults(record, context, limits);
    WriteCsv(out, record, context, enr.csvSourceText, QDateTime(), LimitCsvColumns(limits, results));
    WriteJson(inv, record, context, enr.csvSourceText, limits, results, QString());
    return ReportVerdict(limits, results);
}

// ---- report ------------------------------------------------------------------------------------

int RunReport(const Invocation &inv)
{
    if (!inv.has("output"))
        Usage(QStringLiteral("report needs -o FILE.pdf"));
    RefuseStandardOutput(inv, "output", QStringLiteral("a PDF"));
    // A complete measurement is judged with what it was measured with, its bench included, and
    // brings the engineer, the DUT and the remarks typed for it.
    bool complete = false;
    CompleteMeasurement m;
    if (inv.has("run")) {
        m = HistoryRunMeasurement(inv, &complete);
    } else if (IsCompleteMeasurementFileName(inv.file)) {
        m = LoadNfm(inv.file);
        complete = true;
    } else {
        m.record = LoadMea(inv.file);
    }
    const MeasurementRecord &record = m.record;
    ReportInput input = ReportInput::fromRecord(record);
    input.Texts = ReportTextsOf(record, NoiseSourceTextOf(record.MeasurementHeader));
    if (complete) {
        for (const auto &[name, text] : m.reportDetails) {
            if (name == QLatin1String("le_Engineer"))
                input.Texts.Engineer = text;
            else if (name == QLatin1String("le_DUT"))
                input.Texts.DUT = text;
        }
        input.Remarks = m.remarks;
    }
    if (inv.has("title") || !complete)
        input.Texts.DUT = inv.value("title");
    FillReportConfidence(input, record,
                         complete ? EvaluationContextOf(m)
                                  : ContextOf(ChooseEnr(inv, record.MeasurementHeader.EnrSource), RoomTemperatureK(inv)));
    if (inv.has("remarks")) {
        const QString path = inv.value("remarks");
        QFile f(path);
        if (!QFileInfo(path).isFile())
            Fail(path, QStringLiteral("File do not exists !"));
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            Fail(path, f.errorString());
        QString text = QString::fromUtf8(f.readAll());
        if (text.endsWith(u'\n'))
            text.chop(1);
        input.Remarks = text.isEmpty() ? QStringList() : text.split(u'\n');
    }

    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setCreator(QStringLiteral("Tessary ") + VersionText());
        writer.setTitle(QStringLiteral("Test Report"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        TestReport report(std::move(input));
        if (!report.PrintReport(writer))
            Fail(inv.value("output"), QStringLiteral("the PDF cannot be started"));
    }
    QString error;
    if (!WriteFileAtomically(inv.value("output"), pdf.data(), &error))
        Fail(inv.value("output"), error);
    return CliOk;
}

}  // namespace cli
