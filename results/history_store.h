#pragma once
// The history: every completed measurement pass, kept in an SQLite database so that months
// later it can be said what was measured, when, against which calibration and limits.
//
// The database is written in WAL mode with one transaction per run and full synchronisation,
// so a process killed at any moment leaves a database that opens with every committed run.
// Its schema carries its version in SQLite's user_version (see the README). A file that is not
// a database or is damaged is set aside under a new name, never overwritten, and a new one is
// begun; a database of a newer version is left alone and refused. A run that cannot be written
// (locked, read-only, disk full) stays in memory and is written with the next run that can be.
//
// Failures come back as values: each call that can fail says why in `error`. Use one store from
// one thread; two stores, in one process or two, may share a file.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

/// The schema this program writes and reads.
inline constexpr int kHistorySchemaVersion = 1;

/// A measurement as the history keeps it: the bytes of the complete measurement file and the
/// name of its format ("mea" for a measurement file's 5040 bytes).
struct StoredMeasurement
{
    QString format;
    QByteArray content;
};

/// One run of the history.
struct HistoryRun
{
    qint64 id = 0;          ///< given by the store when the run is recorded
    QDateTime recordedAt;   ///< when the pass ended
    QString dut;            ///< the report details' DUT
    QString engineer;       ///< the report details' engineer
    QString serial;         ///< the DUT's serial number
    double startHz = 0;     ///< first and last frequency of the plan
    double stopHz = 0;
    int points = 0;         ///< frequencies measured
    std::optional<double> worstNfDb;  ///< the highest noise figure, nothing when none was computed
    QString verdict;        ///< "PASS", "FAIL: 3 of 11 points", empty without limits
    QByteArray limits;      ///< the limits in force as a limits file, empty without
    QString calibration;    ///< which calibration the pass used ("file.cal, 2026-12-08 09:12")
    StoredMeasurement measurement;  ///< empty in a listing made without contents
};

/// Which runs a listing shows; every field that is set must match.
struct HistoryFilter
{
    QString text;      ///< contained in the DUT or the serial, case-insensitive
    QString dut;       ///< contained in the DUT
    QString serial;    ///< contained in the serial
    QDateTime since;   ///< recorded at or after
};

class QSqlDatabase;

class HistoryStore
{
public:
    /// `$XDG_DATA_HOME/tessary/history.sqlite`, `~/.local/share/tessary/history.sqlite` when the
    /// variable is unset or empty.
    static QString DefaultPath();

    explicit HistoryStore(QString path);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    /// Opens the database, creating the folder, the file and the schema where missing. A file
    /// that is not a sound database is first set aside (setAsidePath() says where). False, with
    /// the reason naming the file, when the database cannot be opened or is of a newer version.
    bool open(QString *error);
    bool isOpen() const { return m_open; }
    const QString &path() const { return m_path; }
    /// Where a damaged file was moved by the last open(); empty when none was.
    const QString &setAsidePath() const { return m_setAside; }

    /// Writes the run, and any kept from earlier failures before it, each in one transaction.
    /// Its id, or nothing with the reason in `error`: then the run is kept in memory.
    std::optional<qint64> record(const HistoryRun &run, QString *error);
    /// Runs kept in memory because they could not be written yet.
    const QList<HistoryRun> &pending() const { return m_pending; }

    /// The runs that match, newest first, without their measurement unless `withContent`.
    QList<HistoryRun> list(const HistoryFilter &filter, QString *error, bool withContent = false) const;
    /// One run with its measurement; nothing, with the reason, when there is none with that id.
    std::optional<HistoryRun> run(qint64 id, QString *error) const;
    /// Deletes a run; false with the reason when it cannot.
    bool remove(qint64 id, QString *error);

private:
    bool openFile(QString *error, bool *damaged);
    bool writeRun(const HistoryRun &run, qint64 *id, QString *error);
    QSqlDatabase database() const;
    void close();

    QString m_path;
    QString m_connection;
    QString m_setAside;
    bool m_open = false;
    QList<HistoryRun> m_pending;
};
