#include "app/window_history.h"

#include "app/core/config.h"
#include "app/core/entry_rules.h"
#include "noise/measurement_record.h"
#include "results/limit_results.h"
#include "results/measurement_file.h"
#include "results/stored_measurement.h"

#include <cmath>
#include <cstdio>

QString ConfiguredHistoryPath(const QString &configPath)
{
    const QString path = HistoryPathSetting(configPath);
    return path.isEmpty() ? HistoryStore::DefaultPath() : path;
}

HistoryRun HistoryRunOf(const CompleteMeasurement &m, const RunIdentity &identity, const QString &calibration,
                        const QDateTime &recordedAt)
{
    const MeasurementRecord &record = m.record;
    HistoryRun run;
    run.recordedAt = recordedAt;
    run.dut = identity.dut;
    run.engineer = identity.engineer;
    run.serial = identity.serial;
    run.startHz = record.SweepPlan.Start;
    run.stopHz = record.SweepPlan.Stop;
    run.points = record.SweepPlan.Steps + 1;
    run.worstNfDb = WorstNoiseFigure(record);
    run.calibration = calibration;
    run.measurement = StoredMeasurementOf(m);
    return run;
}

LimitSet LimitsOfRun(const HistoryRun &run)
{
    if (run.limits.isEmpty())
        return {};
    const LimitsParseResult parsed = ParseLimits(run.limits, ReadTypedFrequencyHz);
    return parsed.limits.value_or(LimitSet());
}

WindowHistory::WindowHistory(QString path, QObject *parent)
    : QObject(parent), m_path(std::move(path)), m_store(m_path)
{
}

WindowHistory::~WindowHistory() = default;

HistoryStore *WindowHistory::store(QString *error)
{
    if (!m_store.isOpen() && !m_store.open(error))
        return nullptr;
    return &m_store;
}

std::optional<qint64> WindowHistory::record(const HistoryRun &run)
{
    QString error;
    const std::optional<qint64> id = m_store.record(run, &error);
    if (!m_store.setAsidePath().isEmpty() && m_store.setAsidePath() != m_toldSetAside) {
        m_toldSetAside = m_store.setAsidePath();
        const QString text = QStringLiteral("History: the damaged database was set aside as ") + m_store.setAsidePath();
        std::fprintf(stderr, "%s\n", qPrintable(text));
        emit problem(text);
    }
    if (id) {
        m_told = false;
        emit recorded(*id);
        return id;
    }
    if (!m_told) {
        m_told = true;
        const QString text = QStringLiteral("History: ") + error + QStringLiteral("; the run is kept in memory");
        std::fprintf(stderr, "%s\n", qPrintable(text));
        emit problem(text);
    }
    return std::nullopt;
}
