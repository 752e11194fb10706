#include "results/history_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <atomic>

namespace {

// SQLite's primary result codes that say the file is not a sound database.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

const char *const kSchema[] = {
    "CREATE TABLE runs ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " recorded_at TEXT NOT NULL,"
    " dut TEXT NOT NULL DEFAULT '',"
    " engineer TEXT NOT NULL DEFAULT '',"
    " serial TEXT NOT NULL DEFAULT '',"
    " start_hz REAL NOT NULL,"
    " stop_hz REAL NOT NULL,"
    " points INTEGER NOT NULL,"
    " worst_nf_db REAL,"
    " verdict TEXT NOT NULL DEFAULT '',"
    " limits TEXT NOT NULL DEFAULT '',"
    " calibration TEXT NOT NULL DEFAULT '',"
    " format TEXT NOT NULL,"
    " content BLOB NOT NULL)",
    "CREATE INDEX runs_recorded_at ON runs(recorded_at)",
    "CREATE INDEX runs_dut ON runs(dut)",
    "CREATE INDEX runs_serial ON runs(serial)",
};

const QString kColumns = QStringLiteral(
    "id, recorded_at, dut, engineer, serial, start_hz, stop_hz, points, worst_nf_db, verdict, limits, calibration, format");

bool IsDamage(const QSqlError &e)
{
    const int code = e.nativeErrorCode().toInt() & 0xff;  // extended codes keep the primary in the low byte
    return code == kSqliteCorrupt || code == kSqliteNotADatabase;
}

QString Reason(const QSqlError &e)
{
    const QString text = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

/// The stored form of a time: UTC, ISO 8601 with milliseconds, so that text order is time order.
QString TimeText(const QDateTime &t) { return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")); }

QString LikePattern(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'%', QStringLiteral("\\%")).replace(u'_', QStringLiteral("\\_"));
    return u'%' + escaped + u'%';
}

HistoryRun RunOf(const QSqlQuery &q, bool withContent)
{
    HistoryRun r;
    r.id = q.value(0).toLongLong();
    r.recordedAt = QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs);
    r.dut = q.value(2).toString();
    r.engineer = q.value(3).toString();
    r.serial = q.value(4).toString();
    r.startHz = q.value(5).toDouble();
    r.stopHz = q.value(6).toDouble();
    r.points = q.value(7).toInt();
    if (!q.value(8).isNull())
        r.worstNfDb = q.value(8).toDouble();
    r.verdict = q.value(9).toString();
    r.limits = q.value(10).toString().toUtf8();
    r.calibration = q.value(11).toString();
    r.measurement.format = q.value(12).toString();
    if (withContent)
        r.measurement.content = q.value(13).toByteArray();
    return r;
}

/// A name beside `path` that no file has yet: "history.sqlite.damaged-20261208-113000".
QString SetAsideName(const QString &path)
{
    const QString base = path + QStringLiteral(".damaged-")
                         + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = base;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo::exists(name + QStringLiteral("-wal")); ++n)
        name = base + u'-' + QString::number(n);
    return name;
}

}  // namespace

QString HistoryStore::DefaultPath()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/tessary/history.sqlite");
}

HistoryStore::HistoryStore(QString path) : m_path(std::move(path))
{
    static std::atomic<int> counter{0};
    m_connection = QStringLiteral("tessary-history-%1").arg(counter.fetch_add(1));
}

HistoryStore::~HistoryStore() { close(); }

QSqlDatabase HistoryStore::database() const { return QSqlDatabase::database(m_connection, false); }

void HistoryStore::close()
{
    if (QSqlDatabase::contains(m_connection)) {
        {
            QSqlDatabase db = database();
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_open = false;
}

bool HistoryStore::open(QString *error)
{
    close();
    m_setAside.clear();
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = m_path + QStringLiteral(": the folder cannot be created");
        return false;
    }
    bool damaged = false;
    if (openFile(error, &damaged))
        return true;
    if (!damaged)
        return false;
    // Set the damaged file aside with its write-ahead log and begin a new one.
    close();
    const QString aside = SetAsideName(m_path);
    if (!QFile::rename(m_path, aside)) {
        *error = m_path + QStringLiteral(": the file is damaged and cannot be set aside");
        return false;
    }
    for (const char *suffix : {"-wal", "-shm"}) {
        if (QFileInfo::exists(m_path + QLatin1String(suffix)))
            QFile::rename(m_path + QLatin1String(suffix), aside + QLatin1String(suffix));
    }
    m_setAside = aside;
    damaged = false;
    return openFile(error, &damaged);
}

bool HistoryStore::openFile(QString *error, bool *damaged)
{
    auto fail = [&](const QString &why) {
        *error = m_path + QStringLiteral(": ") + why;
        return false;
    };
    // A file that does not begin as an SQLite database would be taken for an empty one.
    QFile probe(m_path);
    if (probe.exists() && probe.size() > 0) {
        if (!probe.open(QIODevice::ReadOnly))
            return fail(probe.errorString());
        const QByteArray head = probe.read(16);
        if (head != QByteArray("SQLite format 3", 16)) {
            *damaged = true;
            return fail(QStringLiteral("not a history database"));
        }
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (!db.isValid())
        return fail(QStringLiteral("the SQLite driver of Qt is not installed"));
    db.setDatabaseName(m_path);
    // Another writer holds the lock for one transaction at most; waiting longer would hold up
    // the end of a pass.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=500"));
    if (!db.open())
        return fail(Reason(db.lastError()));
    QSqlQuery q(db);
    auto exec = [&](const QString &sql) {
        if (q.exec(sql))
            return true;
        *damaged = IsDamage(q.lastError());
        fail(Reason(q.lastError()));
        return false;
    };
    if (!exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return !error->isEmpty() ? false : fail(QStringLiteral("the version cannot be read"));
    const int version = q.value(0).toInt();
    if (version > kHistorySchemaVersion)
        return fail(QStringLiteral("the history has schema version %1, written by a newer Tessary; this one "
                                   "reads version %2").arg(version).arg(kHistorySchemaVersion));
    if (!exec(QStringLiteral("PRAGMA quick_check")) || !q.next())
        return false;
    if (q.value(0).toString() != QLatin1String("ok")) {
        *damaged = true;
        return fail(QStringLiteral("the database is damaged (%1)").arg(q.value(0).toString()));
    }
    q.finish();
    // WAL and full synchronisation: a committed run survives a killed process and a power cut.
    // A read-only database stays in its journal mode and can still be listed.
    if (exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        q.finish();
    exec(QStringLiteral("PRAGMA synchronous=FULL"));
    if (version == 0) {
        if (!db.transaction())
            return fail(Reason(db.lastError()));
        for (const char *statement : kSchema) {
            if (!exec(QLatin1String(statement))) {
                db.rollback();
                return false;
            }
        }
        if (!exec(QStringLiteral("PRAGMA user_version = %1").arg(kHistorySchemaVersion)) || !db.commit()) {
            db.rollback();
            return fail(Reason(db.lastError()));
        }
    }
    error->clear();
    m_open = true;
    return true;
}

bool HistoryStore::writeRun(const HistoryRun &run, qint64 *id, QString *error)
{
    QSqlDatabase db = database();
    if (!db.transaction()) {
        *error = m_path + QStringLiteral(": ") + Reason(db.lastError());
        return false;
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO runs (recorded_at, dut, engineer, serial, start_hz, stop_hz, points, "
                             "worst_nf_db, verdict, limits, calibration, format, content) "
                             "VALUES (?, COALESCE(?, ''), COALESCE(?, ''), COALESCE(?, ''), ?, ?, ?, ?, COALESCE(?, ''), "
                             "COALESCE(?, ''), COALESCE(?, ''), ?, ?)"));
    q.addBindValue(TimeText(run.recordedAt));
    q.addBindValue(run.dut);
    q.addBindValue(run.engineer);
    q.addBindValue(run.serial);
    q.addBindValue(run.startHz);
    q.addBindValue(run.stopHz);
    q.addBindValue(run.points);
    q.addBindValue(run.worstNfDb ? QVariant(*run.worstNfDb) : QVariant(QMetaType(QMetaType::Double)));
    q.addBindValue(run.verdict);
    q.addBindValue(QString::fromUtf8(run.limits));
    q.addBindValue(run.calibration);
    q.addBindValue(run.measurement.format.isEmpty() ? QStringLiteral("mea") : run.measurement.format);
    q.addBindValue(run.measurement.content.isNull() ? QByteArray("") : run.measurement.content);
    if (!q.exec()) {
        *error = m_path + QStringLiteral(": ") + Reason(q.lastError());
        q.finish();
        db.rollback();
        return false;
    }
    *id = q.lastInsertId().toLongLong();
    q.finish();
    if (!db.commit()) {
        *error = m_path + QStringLiteral(": ") + Reason(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

std::optional<qint64> HistoryStore::record(const HistoryRun &run, QString *error)
{
    if (!m_open && !open(error)) {
        m_pending.append(run);
        return std::nullopt;
    }
    // The runs kept from earlier failures go first, in the order they ended.
    m_pending.append(run);
    qint64 id = 0;
    while (!m_pending.isEmpty()) {
        if (!writeRun(m_pending.front(), &id, error)) {
            // Opened anew next time: a database that became writable again, or was damaged,
            // is then taken as it is now.
            close();
            return std::nullopt;
        }
        m_pending.removeFirst();
    }
    return id;
}

QList<HistoryRun> HistoryStore::list(const HistoryFilter &filter, QString *error, bool withContent) const
{
    QList<HistoryRun> runs;
    if (!m_open) {
        *error = m_path + QStringLiteral(": the history is not open");
        return runs;
    }
    QStringList where;
    QVariantList values;
    if (!filter.text.isEmpty()) {
        where << QStringLiteral("(dut LIKE ? ESCAPE '\\' OR serial LIKE ? ESCAPE '\\')");
        values << LikePattern(filter.text) << LikePattern(filter.text);
    }
    if (!filter.dut.isEmpty()) {
        where << QStringLiteral("dut LIKE ? ESCAPE '\\'");
        values << LikePattern(filter.dut);
    }
    if (!filter.serial.isEmpty()) {
        where << QStringLiteral("serial LIKE ? ESCAPE '\\'");
        values << LikePattern(filter.serial);
    }
    if (filter.since.isValid()) {
        where << QStringLiteral("recorded_at >= ?");
        values << TimeText(filter.since);
    }
    QString sql = QStringLiteral("SELECT ") + kColumns + (withContent ? QStringLiteral(", content") : QString())
                  + QStringLiteral(" FROM runs");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY recorded_at DESC, id DESC");
    QSqlQuery q(database());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        *error = m_path + QStringLiteral(": ") + Reason(q.lastError());
        return runs;
    }
    while (q.next())
        runs.append(RunOf(q, withContent));
    if (q.lastError().isValid())
        *error = m_path + QStringLiteral(": ") + Reason(q.lastError());
    return runs;
}

std::optional<HistoryRun> HistoryStore::run(qint64 id, QString *error) const
{
    if (!m_open) {
        *error = m_path + QStringLiteral(": the history is not open");
        return std::nullopt;
    }
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT ") + kColumns + QStringLiteral(", content FROM runs WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec()) {
        *error = m_path + QStringLiteral(": ") + Reason(q.lastError());
        return std::nullopt;
    }
    if (!q.next()) {
        *error = m_path + QStringLiteral(": no run %1 in the history").arg(id);
        return std::nullopt;
    }
    return RunOf(q, true);
}

bool HistoryStore::remove(qint64 id, QString *error)
{
    if (!m_open) {
        *error = m_path + QStringLiteral(": the history is not open");
        return false;
    }
    QSqlQuery q(database());
    q.prepare(QStringLiteral("DELETE FROM runs WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec()) {
        *error = m_path + QStringLiteral(": ") + Reason(q.lastError());
        return false;
    }
    if (q.numRowsAffected() != 1) {
        *error = m_path + QStringLiteral(": no run %1 in the history").arg(id);
        return false;
    }
    return true;
}
