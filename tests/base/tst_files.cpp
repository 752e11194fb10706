// The byte-level helpers every file goes through: Windows-1252 both ways, and the atomic write
// that leaves the previous file as it was whenever the new one cannot be written whole.

#include "base/files.h"

#include "common/working_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

/// While it lives, no file of this process may grow beyond `bytes`: a write past the limit
/// stops short (EFBIG) instead of raising SIGXFSZ, as on a disk that fills up in the middle.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        m_ok = ::getrlimit(RLIMIT_FSIZE, &m_previous) == 0;
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        m_ok = m_ok && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool ok() const { return m_ok; }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
    bool m_ok = false;
};

}  // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void windows1252RoundTrip();
    void windows1252Letters_data();
    void windows1252Letters();

    void writeFileAtomically_data();
    void writeFileAtomically();
    void failedWriteKeepsTheOldFile_data();
    void failedWriteKeepsTheOldFile();
};

void TestFiles::windows1252RoundTrip()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QCOMPARE(ToWindows1252(FromWindows1252(all)), all);
}

void TestFiles::windows1252Letters_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("a umlaut") << QByteArray("\xE4") << QStringLiteral("\u00E4");
    QTest::newRow("capital A umlaut") << QByteArray("\xC4") << QStringLiteral("\u00C4");
    QTest::newRow("micro") << QByteArray("\xB5") << QStringLiteral("\u00B5");
    QTest::newRow("degree") << QByteArray("\xB0") << QStringLiteral("\u00B0");
    QTest::newRow("euro") << QByteArray("\x80") << QStringLiteral("\u20AC");
    QTest::newRow("en dash") << QByteArray("\x96") << QStringLiteral("\u2013");
    QTest::newRow("Y diaeresis") << QByteArray("\x9F") << QStringLiteral("\u0178");
}

void TestFiles::windows1252Letters()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(FromWindows1252(bytes), text);
    QCOMPARE(ToWindows1252(text), bytes);
}

void TestFiles::writeFileAtomically_data()
{
    QTest::addColumn<bool>("existing");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("new file") << false << QByteArray("[S]\r\nA=1\r\n");
    QTest::newRow("replaces a longer file whole") << true << QByteArray("short");
    QTest::newRow("empty") << true << QByteArray();
    QTest::newRow("every byte value") << true << [] {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        return all.repeated(64);
    }();
}

void TestFiles::writeFileAtomically()
{
    QFETCH(bool, existing);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("default.tbl"));
    if (existing)
        QVERIFY(WriteFileBytes(path, QByteArray(4096, 'x')));
    QString error;
    QVERIFY2(WriteFileAtomically(path, bytes, &error), qPrintable(error));
    QCOMPARE(ReadFileBytesOrMissing(path), bytes);
    // Nothing of the temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("default.tbl")});
}

void TestFiles::failedWriteKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder missing") << QStringLiteral("missing folder");
    QTest::newRow("path is a folder") << QStringLiteral("folder");
    QTest::newRow("disk full midway") << QStringLiteral("size limit");
}

void TestFiles::failedWriteKeepsTheOldFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray old = "[Schnittstelle]\r\nPort=3\r\n";
    const QByteArray bytes = QByteArray(64 * 1024, 'n');
    QString path = dir.filePath(QStringLiteral("config.ini"));
    QString error;
    bool written = true;
    if (kind == QStringLiteral("missing folder")) {
        path = dir.filePath(QStringLiteral("no/such/folder/config.ini"));
        written = WriteFileAtomically(path, bytes, &error);
        QVERIFY(!QFile::exists(path));
    } else if (kind == QStringLiteral("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("config.ini")));
        written = WriteFileAtomically(path, bytes, &error);
        QVERIFY(QFileInfo(path).isDir());
    } else {
        QVERIFY(WriteFileBytes(path, old));
        {
            // Room for the old file but not for the new one: the write stops after 16 KiB.
            FileSizeLimit limit(16 * 1024);
            if (!limit.ok())
                QSKIP("the file size limit cannot be set here");
            written = WriteFileAtomically(path, bytes, &error);
        }
        QCOMPARE(ReadFileBytesOrMissing(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("config.ini")});
    }
    QVERIFY(!written);
    QVERIFY2(!error.isEmpty(), "a failed write says why");
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
