// The history database: runs recorded and found again, with their measurement byte for byte;
// a database that another process has locked, one that cannot be written, one cut short or
// overwritten, and one whose writer was killed while recording.
//
// The test runs itself as the other process: "--hold-lock PATH" holds a write lock until its
// standard input closes, "--record-forever PATH" records runs and says "recorded N" after each.

#include "common/working_folder.h"
#include "results/history_store.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <cstdio>

namespace {

HistoryRun Run(const QString &dut, const QString &serial, int n = 0)
{
    HistoryRun r;
    r.recordedAt = QDateTime(QDate(2026, 12, 8), QTime(10, 0), Qt::UTC).addSecs(n * 60);
    r.dut = dut;
    r.engineer = QStringLiteral("B. Meier");
    r.serial = serial;
    r.startHz = 400e6;
    r.stopHz = 500e6;
    r.points = 11;
    r.worstNfDb = 3.25 + n;
    r.verdict = QStringLiteral("PASS");
    r.limits = "nf_upper, 400000000 Hz, 5\n";
    r.calibration = QStringLiteral("fresh, 2026-12-08 09:58");
    r.measurement.format = QStringLiteral("mea");
    r.measurement.content = QByteArray(5040, '\0');
    r.measurement.content[n % 5040] = char(n + 1);
    return r;
}

/// Another process of this test, in the given role, ready once it says so.
std::unique_ptr<QProcess> Helper(const char *role, const QString &path, const QByteArray &ready)
{
    auto p = std::make_unique<QProcess>();
    p->start(QCoreApplication::applicationFilePath(), {QLatin1String(role), path});
    if (!p->waitForStarted(10000))
        return nullptr;
    QByteArray out;
    while (!out.contains(ready) && p->waitForReadyRead(10000))
        out += p->readAllStandardOutput();
    return out.contains(ready) ? std::move(p) : nullptr;
}

bool SetImmutable(const QString &path, bool on)
{
    return QProcess::execute(QStringLiteral("chattr"), {on ? QStringLiteral("+i") : QStringLiteral("-i"), path}) == 0;
}

}  // namespace

class TestHistoryStore : public QObject
{
    Q_OBJECT

private slots:
    void recordedAndFoundAgain()
    {
        WorkingFolder folder;
        const QString path = folder.filePath(QStringLiteral("deep/er/history.sqlite"));
        QString error;
        qint64 lastId = 0;
        {
            HistoryStore store(path);
            QVERIFY2(store.open(&error), qPrintable(error));
            QVERIFY(store.record(Run(QStringLiteral("LNA 2"), QStringLiteral("SN-0001"), 0), &error));
            QVERIFY(store.record(Run(QStringLiteral("LNA 2"), QStringLiteral("SN-0002"), 1), &error));
            const std::optional<qint64> id = store.record(Run(QStringLiteral("Mixer 100%"), QStringLiteral("M_7"), 2), &error);
            QVERIFY2(id, qPrintable(error));
            lastId = *id;
        }
        HistoryStore store(path);  // a second session finds them
        QVERIFY2(store.open(&error), qPrintable(error));
        const QList<HistoryRun> all = store.list({}, &error);
        QCOMPARE(all.size(), 3);
        QCOMPARE(all.front().dut, QStringLiteral("Mixer 100%"));  // newest first
        QVERIFY(all.front().measurement.content.isEmpty());      // a listing leaves the contents out
        QCOMPARE(store.list({QStringLiteral("sn-0002"), {}, {}, {}}, &error).size(), 1);
        QCOMPARE(store.list({QStringLiteral("LNA"), {}, {}, {}}, &error).size(), 2);
        QCOMPARE(store.list({QStringLiteral("0%"), {}, {}, {}}, &error).size(), 1);  // % is a character
        QCOMPARE(store.list({{}, {}, QStringLiteral("M_"), {}}, &error).size(), 1);  // and _ too
        QCOMPARE(store.list({{}, {}, {}, Run({}, {}, 1).recordedAt}, &error).size(), 2);

        const std::optional<HistoryRun> back = store.run(lastId, &error);
        QVERIFY(back);
        const HistoryRun sent = Run(QStringLiteral("Mixer 100%"), QStringLiteral("M_7"), 2);
        QCOMPARE(back->measurement.content, sent.measurement.content);
        QCOMPARE(back->recordedAt, sent.recordedAt);
        QCOMPARE(*back->worstNfDb, 5.25);
        QCOMPARE(back->limits, sent.limits);
        QCOMPARE(back->engineer, sent.engineer);

        QVERIFY(store.remove(lastId, &error));
        QVERIFY(!store.run(lastId, &error));
        QCOMPARE(error, path + QStringLiteral(": no run %1 in the history").arg(lastId));
        QVERIFY(!store.remove(lastId, &error));

        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
            QVERIFY(q.exec(QStringLiteral("PRAGMA user_version")) && q.next());
            QCOMPARE(q.value(0).toInt(), kHistorySchemaVersion);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("look"));
    }

    void unwritableKeepsTheRun_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("locked by another process") << "locked";
        QTest::newRow("read-only") << "read-only";
    }
    void unwritableKeepsTheRun()
    {
        QFETCH(QString, how);
        WorkingFolder folder;
        const QString path = folder.filePath(QStringLiteral("history.sqlite"));
        QString error;
        auto store = std::make_unique<HistoryStore>(path);
        QVERIFY2(store->open(&error), qPrintable(error));
        QVERIFY(store->record(Run(QStringLiteral("LNA"), QStringLiteral("1"), 0), &error));
        std::unique_ptr<QProcess> holder;
        struct Writable  // the folder is made writable again however the test ends
        {
            QString folder, file;
            bool on = false;
            ~Writable()
            {
                if (on) {
                    SetImmutable(file, false);
                    SetImmutable(folder, false);
                }
            }
        } writable{folder.path(), path};
        if (how == QLatin1String("locked")) {
            holder = Helper("--hold-lock", path, "locked");
            QVERIFY(holder);
        } else {
            // Opened anew: a file already open stays writable through its descriptor.
            store.reset();
            writable.on = SetImmutable(path, true) && SetImmutable(folder.path(), true);
            if (!writable.on)
                QSKIP("chattr +i is not available on this file system");
            store = std::make_unique<HistoryStore>(path);
            store->open(&error);
        }
        QVERIFY(!store->record(Run(QStringLiteral("LNA"), QStringLiteral("2"), 1), &error));
        QVERIFY2(error.startsWith(path + QStringLiteral(": ")), qPrintable(error));
        if (how == QLatin1String("locked"))
            QVERIFY2(error.contains(QStringLiteral("locked")), qPrintable(error));
        QCOMPARE(store->pending().size(), 1);
        QCOMPARE(store->pending().front().serial, QStringLiteral("2"));
        if (holder) {
            holder->closeWriteChannel();
            QVERIFY(holder->waitForFinished(10000));
        } else {
            SetImmutable(path, false);
            SetImmutable(folder.path(), false);
            writable.on = false;
        }
        // The next run that can be written takes the kept one with it.
        QVERIFY2(store->record(Run(QStringLiteral("LNA"), QStringLiteral("3"), 2), &error), qPrintable(error));
        QVERIFY(store->pending().isEmpty());
        QCOMPARE(store->list({}, &error).size(), 3);
    }

    void damagedFileSetAside_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("cut short") << "cut";
        QTest::newRow("not a database") << "text";
        QTest::newRow("pages overwritten") << "pages";
    }
    void damagedFileSetAside()
    {
        QFETCH(QString, damage);
        WorkingFolder folder;
        const QString path = folder.filePath(QStringLiteral("history.sqlite"));
        QString error;
        {
            HistoryStore store(path);
            QVERIFY(store.open(&error));
            for (int i = 0; i < 40; ++i)
                QVERIFY(store.record(Run(QStringLiteral("LNA"), QString::number(i), i), &error));
        }
        QByteArray bytes = ReadFileBytes(path);
        QVERIFY(bytes.size() > 8192);
        if (damage == QLatin1String("cut"))
            bytes = bytes.left(bytes.size() / 2 + 100);
        else if (damage == QLatin1String("text"))
            bytes = "[History]\r\nPath=x\r\n";
        else
            bytes.replace(4096, bytes.size() - 8192, QByteArray(bytes.size() - 8192, '\xA5'));
        QVERIFY(WriteFileBytes(path, bytes));

        HistoryStore store(path);
        QVERIFY2(store.open(&error), qPrintable(error));
        QVERIFY(!store.setAsidePath().isEmpty());
        QCOMPARE(ReadFileBytes(store.setAsidePath()), bytes);  // kept as it was
        QCOMPARE(store.list({}, &error).size(), 0);
        QVERIFY(store.record(Run(QStringLiteral("LNA"), QStringLiteral("new"), 0), &error));
        // Set aside a second time, under another name.
        const QString first = store.setAsidePath();
        QVERIFY(WriteFileBytes(path, "garbage that is no database at all"));
        HistoryStore again(path);
        QVERIFY(again.open(&error));
        QVERIFY(again.setAsidePath() != first);
        QCOMPARE(ReadFileBytes(first), bytes);
    }

    void newerSchemaRefused()
    {
        WorkingFolder folder;
        const QString path = folder.filePath(QStringLiteral("history.sqlite"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("newer"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version = 7"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("newer"));
        const QByteArray before = ReadFileBytes(path);
        HistoryStore store(path);
        QString error;
        QVERIFY(!store.open(&error));
        QCOMPARE(error, path + QStringLiteral(": the history has schema version 7, written by a newer Tessary; this one reads version 1"));
        QVERIFY(store.setAsidePath().isEmpty());
        QCOMPARE(ReadFileBytes(path), before);
    }

    void killedWhileRecording()
    {
        WorkingFolder folder;
        const QString path = folder.filePath(QStringLiteral("history.sqlite"));
        for (int round = 0; round < 3; ++round) {
            std::unique_ptr<QProcess> writer = Helper("--record-forever", path, "recorded 5");
            QVERIFY(writer);
            QTest::qWait(20 * round);
            QByteArray out = writer->readAllStandardOutput();
            writer->kill();  // SIGKILL, at whatever point of a transaction it is
            QVERIFY(writer->waitForFinished(10000));
            out += writer->readAllStandardOutput();
            HistoryStore store(path);
            QString error;
            QVERIFY2(store.open(&error), qPrintable(error));
            QVERIFY(store.setAsidePath().isEmpty());
            QVERIFY(store.list({}, &error).size() >= 5 * (round + 1));
            QVERIFY(error.isEmpty());
        }
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--hold-lock") == 0) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        db.setDatabaseName(QString::fromLocal8Bit(argv[2]));
        if (!db.open() || !QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE")))
            return 1;
        std::puts("locked");
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        return 0;
    }
    if (argc == 3 && qstrcmp(argv[1], "--record-forever") == 0) {
        HistoryStore store(QString::fromLocal8Bit(argv[2]));
        QString error;
        if (!store.open(&error))
            return 1;
        for (int n = 1;; ++n) {
            if (!store.record(Run(QStringLiteral("LNA"), QString::number(n), n), &error))
                return 2;
            std::printf("recorded %d\n", n);
            std::fflush(stdout);
        }
    }
    TestHistoryStore test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_history_store.moc"
