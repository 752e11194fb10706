#include "app/cli_parts.h"

#include "app/core/config.h"
#include "app/core/entry_rules.h"
#include "app/core/limits_config.h"
#include "app/window_history.h"
#include "base/engvalue.h"
#include "base/errors.h"
#include "base/files.h"
#include "noise/step_confidence.h"
#include "noise/yfactor.h"
#include "results/history_store.h"
#include "results/measurement_file.h"
#include "results/stored_measurement.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>
#include <limits>

namespace cli {

namespace {

QJsonValue Number(std::optional<double> v)
{
    return v && std::isfinite(*v) ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

void WriteOut(const QString &path, const QByteArray &bytes)
{
    if (path == QLatin1String("-")) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
        return;
    }
    QString error;
    if (!WriteFileAtomically(path, bytes, &error))
        Fail(path, error);
}

QJsonObject RunSummary(const HistoryRun &r)
{
    return {{QStringLiteral("id"), r.id},
            {QStringLiteral("recordedAt"), r.recordedAt.toUTC().toString(Qt::ISODateWithMs)},
            {QStringLiteral("dut"), r.dut},
            {QStringLiteral("engineer"), r.engineer},
            {QStringLiteral("serial"), r.serial},
            {QStringLiteral("startHz"), r.startHz},
            {QStringLiteral("stopHz"), r.stopHz},
            {QStringLiteral("points"), r.points},
            {QStringLiteral("worstNfDb"), Number(r.worstNfDb)},
            {QStringLiteral("verdict"), r.verdict},
            {QStringLiteral("calibration"), r.calibration}};
}

HistoryStore &OpenHistory(HistoryStore &store)
{
    QString error;
    if (!store.open(&error))
        Fail(QString(), QStringLiteral("history: ") + error);
    if (!store.setAsidePath().isEmpty())
        Note(QStringLiteral("history: the damaged database was set aside as ") + store.setAsidePath());
    return store;
}

}  // namespace

LimitSet LimitsOption(const Invocation &inv)
{
    if (!inv.has("limits"))
        return {};
    const QString path = inv.value("limits");
    const LimitsFileResult r = ReadLimitsFile(path);
    if (!r.limits)
        Fail(path, r.error);
    return *r.limits;
}

QList<StepLimitResult> StepResults(const MeasurementRecord &record, const EvaluationContext &context,
                                   const LimitSet &limits)
{
    QList<StepLimitResult> results;
    if (limits.empty())
        return results;
    try {
        results = StepLimitResults(CsvStepRows(record, MeasurementCsvDetails(record, context, QString())), limits);
    } catch (const AppError &e) {
        Fail(QString(), e.message());
    }
    return results;
}

int ReportVerdict(const LimitSet &limits, const QList<StepLimitResult> &results)
{
    if (limits.empty())
        return CliOk;
    const LimitVerdict verdict = VerdictOf(results);
    Note(QStringLiteral("verdict: ") + VerdictText(verdict, true));
    return verdict.pass() ? CliOk : CliVerdictFailed;
}

QString HistoryPathOption(const Invocation &inv)
{
    return inv.has("history") ? inv.value("history") : ConfiguredHistoryPath(ConfigFilePath());
}

void RecordRun(const Invocation &inv, const CompleteMeasurement &measurement, const LimitSet &limits,
               const QList<StepLimitResult> &results, const QString &calibration)
{
    if (inv.has("no-history"))
        return;
    HistoryRun run = HistoryRunOf(measurement, {inv.value("dut-name"), QString(), inv.value("serial")}, calibration,
                                  QDateTime::currentDateTime());
    run.verdict = VerdictText(VerdictOf(results), !limits.empty());
    run.limits = limits.empty() ? QByteArray() : FormatLimits(limits);
    HistoryStore store(HistoryPathOption(inv));
    QString error;
    const std::optional<qint64> id = store.record(run, &error);
    if (!store.setAsidePath().isEmpty())
        Note(QStringLiteral("history: the damaged database was set aside as ") + store.setAsidePath());
    if (id)
        Note(QStringLiteral("history: run %1").arg(*id));
    else
        Note(QStringLiteral("history: ") + error + QStringLiteral("; the run is kept in ") + inv.value("output")
             + QStringLiteral(" only"));
}

CompleteMeasurement HistoryRunMeasurement(const Invocation &inv, bool *complete)
{
    bool ok = false;
    const qint64 id = inv.value("run").toLongLong(&ok);
    if (!ok || id < 1)
        Usage(QStringLiteral("--run needs the number of a run (see tessary history)"));
    HistoryStore store(HistoryPathOption(inv));
    OpenHistory(store);
    QString error;
    const std::optional<HistoryRun> run = store.run(id, &error);
    if (!run)
        Fail(QString(), QStringLiteral("history: ") + error);
    StoredMeasurementRead read = ReadStoredMeasurement(run->measurement, id);
    if (!read.measurement)
        Fail(QString(), QStringLiteral("history: ") + read.error);
    if (complete)
        *complete = read.complete;
    return std::move(*read.measurement);
}

void WriteJson(const Invocation &inv, const MeasurementRecord &record, const EvaluationContext &evaluation,
               const QString &enrSourceText, const LimitSet &limits, const QList<StepLimitResult> &results,
               const QString &calibration)
{
    if (!inv.has("json"))
        return;
    EvaluationContext context = evaluation;
    context.uncertainty = ReadUncertaintyConfig();
    QJsonArray steps;
    try {
        const QList<CsvStepRow> rows = CsvStepRows(record, MeasurementCsvDetails(record, context, QString()));
        for (const CsvStepRow &row : rows) {
            const StepConfidence c = EvaluateStep(record, row.step, context).confidence;
            QJsonArray findings;
            for (const GuidelineFinding &f : c.findings)
                findings.append(f.text);
            QJsonObject step{{QStringLiteral("step"), row.step},
                             {QStringLiteral("rfHz"), record.SweepPlan.enrHz(row.step)},
                             {QStringLiteral("ifHz"), record.SweepPlan.tuneHz(row.step)},
                             {QStringLiteral("n2offDbm"), row.n2offDbm},
                             {QStringLiteral("n2onDbm"), row.n2onDbm},
                             {QStringLiteral("n12offDbm"), row.n12offDbm},
                             {QStringLiteral("n12onDbm"), row.n12onDbm},
                             {QStringLiteral("gainDb"), Number(row.gainDb)},
                             {QStringLiteral("noiseFigureDb"), Number(row.noiseFigureDb)},
                             {QStringLiteral("uncertaintyDb"),
                              c.uncertainty.valid ? Number(c.uncertainty.uncertaintyDb) : QJsonValue(QJsonValue::Null)},
                             {QStringLiteral("guidelines"), findings}};
            if (row.step < results.size()) {
                const StepLimitResult &r = results[row.step];
                QJsonObject limitsOfStep;
                for (const LimitKind kind : kLimitKindsInOrder)
                    limitsOfStep[LimitKindName(kind)] = Number(r.limitDb[size_t(kind)]);
                step[QStringLiteral("limits")] = limitsOfStep;
                step[QStringLiteral("limitResult")] = !r.tested ? QStringLiteral("untested")
                                                      : r.pass  ? QStringLiteral("pass")
                                                                : QStringLiteral("fail");
                step[QStringLiteral("limitText")] = StepLimitText(r);
            }
            steps.append(step);
        }
    } catch (const AppError &e) {
        Fail(inv.value("json"), e.message());
    }
    const MeasurementHeader &h = record.MeasurementHeader;
    const QJsonObject settings{{QStringLiteral("startHz"), record.SweepPlan.Start},
                               {QStringLiteral("stopHz"), record.SweepPlan.Stop},
                               {QStringLiteral("steps"), record.SweepPlan.Steps},
                               {QStringLiteral("rbwIndex"), h.RbwIndex},
                               {QStringLiteral("vbwIndex"), h.VbwIndex},
                               {QStringLiteral("averageIndex"), h.AverageIndex},
                               {QStringLiteral("noiseSource"), FromWindows1252(h.NoiseSourceText)},
                               {QStringLiteral("enrSource"), enrSourceText},
                               {QStringLiteral("enrMode"), context.enr.mode},
                               {QStringLiteral("enrConstant"), context.enr.enrAllText},
                               {QStringLiteral("roomTemperatureK"), context.roomTemperatureK}};
    const LimitVerdict verdict = VerdictOf(results);
    const QJsonObject root{
        {QStringLiteral("format"), QStringLiteral("tessary-measurement-json")},
        {QStringLiteral("version"), 1},
        {QStringLiteral("verdict"), limits.empty() ? QJsonValue(QJsonValue::Null)
                                                   : QJsonValue(VerdictText(verdict, true))},
        {QStringLiteral("pointsTested"), verdict.tested},
        {QStringLiteral("pointsFailed"), verdict.failed},
        {QStringLiteral("limits"), QString::fromUtf8(FormatLimits(limits))},
        {QStringLiteral("dut"), QJsonObject{{QStringLiteral("name"), inv.value("dut-name")},
                                            {QStringLiteral("serial"), inv.value("serial")}}},
        {QStringLiteral("calibration"), calibration},
        {QStringLiteral("settings"), settings},
        {QStringLiteral("steps"), steps},
    };
    WriteOut(inv.value("json"), QJsonDocument(root).toJson(QJsonDocument::Indented));
}

int RunHistory(const Invocation &inv)
{
    HistoryFilter filter;
    filter.dut = inv.value("dut");
    filter.serial = inv.value("serial");
    if (inv.has("since")) {
        const QString text = inv.value("since").trimmed();
        QDateTime since = QDateTime::fromString(text, Qt::ISODate);
        if (!since.isValid())
            since = QDateTime(QDate::fromString(text, Qt::ISODate), QTime(0, 0));
        if (!since.isValid())
            Usage(QStringLiteral("--since '%1' is not a date (2026-12-08 or 2026-12-08T09:30)").arg(text));
        filter.since = since;
    }
    HistoryStore store(HistoryPathOption(inv));
    OpenHistory(store);
    QString error;
    const QList<HistoryRun> runs = store.list(filter, &error);
    if (!error.isEmpty())
        Fail(QString(), QStringLiteral("history: ") + error);
    if (inv.has("json")) {
        QJsonArray list;
        for (const HistoryRun &r : runs)
            list.append(RunSummary(r));
        WriteOut(inv.value("json"), QJsonDocument(list).toJson(QJsonDocument::Indented));
        return CliOk;
    }
    QByteArray out;
    for (const HistoryRun &r : runs) {
        const QString range = r.points > 1 ? FormatValue(2, fvHz + fvPrefix, r.startHz) + QStringLiteral(" to ")
                                                 + FormatValue(2, fvHz + fvPrefix, r.stopHz)
                                           : FormatValue(2, fvHz + fvPrefix, r.startHz);
        const QStringList cells{QString::number(r.id),
                                r.recordedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                r.dut,
                                r.serial,
                                range,
                                QString::number(r.points),
                                r.worstNfDb ? FormatValue(2, fvDb, *r.worstNfDb) : QString(),
                                r.verdict};
        out += cells.join(u'\t').toUtf8() + '\n';
    }
    WriteOut(QStringLiteral("-"), out);
    return CliOk;
}

}  // namespace cli
