#pragma once
// The window's side of the history: every completed measurement pass is written at once into
// the same database the command line uses (config.ini [History] Path=, the user's data folder
// otherwise). A database that cannot be opened or written is told once in the status bar and
// on stderr; the run stays in memory, is written with the next run that can be, and the window
// keeps the measurement for "Save as ..." as ever.

#include "noise/limits.h"
#include "results/history_store.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

struct CompleteMeasurement;
struct MeasurementRecord;

/// The history's file: config.ini's [History] Path= when given (the file at `configPath`),
/// otherwise HistoryStore::DefaultPath().
QString ConfiguredHistoryPath(const QString &configPath);

/// Who measured what: the report details' DUT and engineer and the serial field.
struct RunIdentity
{
    QString dut;
    QString engineer;
    QString serial;
};

/// A history run of `m` as it stands after a completed measurement pass: the run keeps the
/// complete measurement.
HistoryRun HistoryRunOf(const CompleteMeasurement &m, const RunIdentity &identity, const QString &calibration,
                        const QDateTime &recordedAt);

/// The limits `run` was judged against; none when it was judged against none (or, damaged,
/// they no longer read).
LimitSet LimitsOfRun(const HistoryRun &run);

class WindowHistory : public QObject
{
    Q_OBJECT

public:
    explicit WindowHistory(QString path, QObject *parent = nullptr);
    ~WindowHistory() override;

    const QString &path() const { return m_path; }
    /// The store, opened on first use; nothing, with the reason, when it cannot be opened.
    HistoryStore *store(QString *error);

    /// Writes the run at once. Its id, or nothing when it could not be written (then it is kept
    /// in memory and `problem` has been emitted, once until a write succeeds again).
    std::optional<qint64> record(const HistoryRun &run);
    /// Runs kept in memory because the database could not take them.
    int pendingRuns() const { return int(m_store.pending().size()); }

signals:
    /// For the status bar: "History: ... ; the run is kept in memory".
    void problem(const QString &text);
    /// A run has been written (its id); the history dialog, when open, shows it.
    void recorded(qint64 id);

private:
    QString m_path;
    HistoryStore m_store;
    bool m_told = false;
    QString m_toldSetAside;
};
