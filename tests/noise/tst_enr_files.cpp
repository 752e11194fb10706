// default.tbl and *.tab at byte level: offsets, short strings, code page, line ends, and the
// files that must be refused or survived.

#include "base/errors.h"
#include "common/working_folder.h"
#include "noise/enr_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <functional>
#include <future>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace {

QString dataFile(const char *name)
{
    return QStringLiteral(TESSARY_TEST_DATA "/enr/") + QString::fromLatin1(name);
}

void writeChecked(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

/// A short string slot as it must stand in the image: length byte, text, zeros.
QByteArray slot(const QByteArray &text, int capacity)
{
    QByteArray s(1 + capacity, '\0');
    s[0] = char(text.size());
    s.replace(1, text.size(), text);
    return s;
}

EnrTableStore sampleStore()
{
    EnrTableStore store;
    store.ShownTable = 1;
    store.Table(1).FileName = QStringLiteral("/lab/µ°ä/NS4A.tab");
    store.Table(2).FileName = QString();
    for (int r = 0; r < kEnrRows; ++r) {
        store.Table(1).Rows[size_t(r)] = {QString::number(r + 1) + QStringLiteral(".5"),
                                          QString::number(10 + r) + QStringLiteral(".25")};
        store.Table(2).Rows[size_t(r)] = {QString::number(2 * r), QString()};
    }
    return store;
}

/// How a read that might never end came out: it runs on a thread of its own, so that a read
/// blocked in open() or looping over an endless device fails the test instead of hanging it.
enum class ReadOutcome { Refused, Returned, NeverEnded };

ReadOutcome BoundedRead(const std::function<void()> &read)
{
    auto done = std::make_shared<std::promise<ReadOutcome>>();
    std::future<ReadOutcome> outcome = done->get_future();
    std::thread([read, done] {
        try {
            read();
            done->set_value(ReadOutcome::Returned);
        } catch (const EFileError &) {
            done->set_value(ReadOutcome::Refused);
        } catch (...) {
            done->set_value(ReadOutcome::Returned);
        }
    }).detach();  // a read that never ends is left behind when the test exits
    if (outcome.wait_for(std::chrono::seconds(3)) != std::future_status::ready)
        return ReadOutcome::NeverEnded;
    return outcome.get();
}

}  // namespace

class TestEnrFiles : public QObject
{
    Q_OBJECT

private slots:
    void storeImageOffsets();
    void storeTextsCutToTheirSlots();
    void storeFixtureFromAnotherWriter();
    void storeRoundTrip();
    void storeRefused_data();
    void storeRefused();
    void storeFileMissingOrLonger();
    void storeWriteReplacesSafely();
    void storeWriteFailureKeepsOldFile();
    void tabDefaultRows();
    void tabRead_data();
    void tabRead();
    void tabHugeFiles();
    void tabWriteAndReadBack();
    void notARegularFile_data();
    void notARegularFile();
    void tabWriteFailure();
    void codePage();
};

void TestEnrFiles::storeImageOffsets()
{
    const EnrTableStore store = sampleStore();
    const QByteArray image = EncodeEnrStore(store);
    QCOMPARE(image.size(), 3156);
    QCOMPARE(image.left(4), QByteArray::fromHex("01000000"));

    // Table 1 at 4: the path in Windows-1252 (µ, ° and ä as single bytes), then zeros.
    QCOMPARE(image.mid(4, 256), slot(QByteArray("/lab/\xB5\xB0\xE4/NS4A.tab"), 255));
    // All frequencies first (at 4 + 256), then all ENR texts (at 4 + 916), 33 bytes a row.
    QCOMPARE(image.mid(4 + 256, 33), slot("1.5", 32));
    QCOMPARE(image.mid(4 + 256 + 19 * 33, 33), slot("20.5", 32));
    QCOMPARE(image.mid(4 + 916, 33), slot("10.25", 32));
    QCOMPARE(image.mid(4 + 916 + 19 * 33, 33), slot("29.25", 32));

    // Table 2 at 1580: empty path, frequencies 0, 2, ..., empty ENR cells.
    QCOMPARE(image.mid(1580, 256), QByteArray(256, '\0'));
    QCOMPARE(image.mid(1580 + 256 + 33, 33), slot("2", 32));
    QCOMPARE(image.mid(1580 + 916 + 19 * 33, 33), QByteArray(33, '\0'));

    EnrTableStore negative;
    negative.ShownTable = 2;
    QCOMPARE(EncodeEnrStore(negative).left(4), QByteArray::fromHex("02000000"));
}

void TestEnrFiles::storeTextsCutToTheirSlots()
{
    EnrTableStore store;
    store.Table(2).FileName = QString(300, u'x');
    store.Table(2).Rows[0].EnrText = QString(40, u'7');
    const QByteArray image = EncodeEnrStore(store);
    QCOMPARE(image.size(), 3156);
    QCOMPARE(uchar(image[1580]), uchar(255));
    QCOMPARE(uchar(image[1580 + 916]), uchar(32));
    // The cut text must not spill into the next slot.
    QCOMPARE(image.mid(1580 + 916 + 33, 33), slot("6.29", 32));

    const EnrTableStore back = DecodeEnrStore(image);
    QCOMPARE(back.Table(2).FileName, QString(255, u'x'));
    QCOMPARE(back.Table(2).Rows[0].EnrText, QString(32, u'7'));
}

void TestEnrFiles::storeFixtureFromAnotherWriter()
{
    // Written by an independent script, with noise after the used length of every slot of
    // table 1: those bytes are not significant.
    const std::optional<EnrTableStore> store = ReadEnrStoreFile(dataFile("table2_shown.tbl"));
    QVERIFY(store);
    QCOMPARE(store->ShownTable, 2);
    QCOMPARE(store->Table(1).FileName, QStringLiteral("C:\\ENR\\NS4A µ°ä.tab"));
    QCOMPARE(store->Table(1).Rows[0].FrequencyText, QStringLiteral("0.5"));
    QCOMPARE(store->Table(1).Rows[19].FrequencyText, QStringLiteral("10"));
    QCOMPARE(store->Table(1).Rows[0].EnrText, QStringLiteral("10.00"));
    QCOMPARE(store->Table(1).Rows[19].EnrText, QStringLiteral("11.90"));
    QCOMPARE(store->Table(2).FileName, QStringLiteral("/home/lab/enr/NS4B.tab"));
    QCOMPARE(store->Table(2).Rows[0].EnrText, QStringLiteral("12345678901234567890123456789012"));
    QCOMPARE(store->Table(2).Rows[19].FrequencyText, QStringLiteral("20.0"));
    QCOMPARE(store->Table(2).Rows[19].EnrText, QStringLiteral("10.25"));

    // Written again it differs from the fixture only in the insignificant bytes.
    const QByteArray fixture = ReadFileBytes(dataFile("table2_shown.tbl"));
    const QByteArray again = EncodeEnrStore(*store);
    QCOMPARE(again.mid(1580), fixture.mid(1580));
    QCOMPARE(DecodeEnrStore(again), *store);
}

void TestEnrFiles::storeRoundTrip()
{
    const EnrTableStore store = sampleStore();
    QCOMPARE(DecodeEnrStore(EncodeEnrStore(store)), store);
    const EnrTableStore defaults;
    QCOMPARE(DecodeEnrStore(EncodeEnrStore(defaults)), defaults);
}

void TestEnrFiles::storeRefused_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    QTest::newRow("one byte short") << dataFile("short.tbl") << QStringLiteral("3155 of the 3156 bytes");
    QTest::newRow("shown table 3") << dataFile("shown_3.tbl") << QStringLiteral("shown table 3");
    QTest::newRow("shown table -1") << dataFile("shown_minus1.tbl") << QStringLiteral("shown table -1");
    QTest::newRow("length byte 33") << dataFile("cell_length_33.tbl")
                                    << QStringLiteral("the ENR of table 2, row 20 exceeds its slot");
}

void TestEnrFiles::storeRefused()
{
    QFETCH(QString, file);
    QFETCH(QString, reason);
    try {
        ReadEnrStoreFile(file);
        QFAIL("an invalid store was accepted");
    } catch (const EFileError &e) {
        QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
        QVERIFY2(e.message().contains(QFileInfo(file).fileName()), qPrintable(e.message()));
    }
}

void TestEnrFiles::storeFileMissingOrLonger()
{
    QTemporaryDir dir;
    QVERIFY(!ReadEnrStoreFile(dir.filePath(QStringLiteral("default.tbl"))).has_value());
    const std::optional<EnrTableStore> longer = ReadEnrStoreFile(dataFile("trailing_bytes.tbl"));
    QVERIFY(longer);
    QCOMPARE(longer->ShownTable, 2);
    QCOMPARE(*longer, *ReadEnrStoreFile(dataFile("table2_shown.tbl")));
    QVERIFY_THROWS_EXCEPTION(EFileError, ReadEnrStoreFile(dir.path()));
}

void TestEnrFiles::storeWriteReplacesSafely()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("default.tbl"));
    writeChecked(path, QByteArray(5000, 'z'));
    WriteEnrStoreFile(path, sampleStore());
    QCOMPARE(ReadFileBytes(path), EncodeEnrStore(sampleStore()));
    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("default.tbl")});
}

void TestEnrFiles::storeWriteFailureKeepsOldFile()
{
    QTemporaryDir dir;
    // A folder standing where the file should go cannot be replaced.
    const QString folder = dir.filePath(QStringLiteral("taken.tbl"));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY_THROWS_EXCEPTION(EFileError, WriteEnrStoreFile(folder, sampleStore()));
    QVERIFY(QFileInfo(folder).isDir());

    // A disk that fills up in the middle of the write, for any user (root included): a file
    // size limit makes the write stop short.
    const QString path = dir.filePath(QStringLiteral("default.tbl"));
    const QByteArray old = EncodeEnrStore(EnrTableStore());
    writeChecked(path, old);
    rlimit before{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &before) == 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails with EFBIG
    rlimit small = before;
    small.rlim_cur = 1000;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    bool refused = false;
    try {
        WriteEnrStoreFile(path, sampleStore());
    } catch (const EFileError &) {
        refused = true;
    }
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
    QVERIFY(refused);
    QCOMPARE(ReadFileBytes(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("default.tbl")});
}

void TestEnrFiles::tabDefaultRows()
{
    const QByteArray content = FormatEnrTab(DefaultEnrRows());
    QVERIFY(content.startsWith("0.01\r\n6.12\r\n0.1\r\n6.29\r\n1.0\r\n5.89\r\n"));
    QVERIFY(content.endsWith("17.0\r\n6.75\r\n18.0\r\n6.75\r\n"));
    QCOMPARE(content.count("\r\n"), 40);
    QCOMPARE(content.count('\n'), 40);
    QCOMPARE(ParseEnrTab(content), DefaultEnrRows());
}

void TestEnrFiles::tabRead_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("row");  // 0-based
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<QString>("enr");
    QTest::addColumn<int>("firstEmptyRow");  // rows from here on have empty cells; 20: none

    QTest::newRow("LF only, first row") << dataFile("lf_only.tab") << 0 << "0.01" << "6.12" << 20;
    QTest::newRow("LF only, last row") << dataFile("lf_only.tab") << 19 << "3.0" << "5.27" << 20;
    QTest::newRow("10 lines fill 5 rows") << dataFile("ten_lines.tab") << 4 << "3.0" << "5.27" << 5;
    QTest::newRow("no line end at the end") << dataFile("no_final_eol.tab") << 1 << "2.5" << "7.5" << 2;
    QTest::newRow("long lines cut to 32")
        << dataFile("long_lines.tab") << 0 << QString(QStringLiteral("1.") + QString(30, u'2')) << QString(32, u'9') << 2;
    QTest::newRow("32 characters kept whole")
        << dataFile("long_lines.tab") << 1 << QString(32, u'3') << QString() << 2;
    QTest::newRow("lines after the 40th ignored") << dataFile("extra_lines.tab") << 19 << "20" << "20.5" << 20;
    QTest::newRow("Windows-1252") << dataFile("cp1252.tab") << 0 << "1µ" << "€ä" << 1;
    QTest::newRow("binary bytes")
        << dataFile("binary.tab") << 1 << QString(2, QChar(u'\0')) << QStringLiteral("ÿþý") << 3;
    QTest::newRow("only the CR before the LF is dropped")
        << dataFile("binary.tab") << 2 << QStringLiteral("\r") << QString() << 3;
}

void TestEnrFiles::tabRead()
{
    QFETCH(QString, file);
    QFETCH(int, row);
    QFETCH(QString, frequency);
    QFETCH(QString, enr);
    QFETCH(int, firstEmptyRow);
    const EnrRows rows = ReadEnrTabFile(file);
    QCOMPARE(rows[size_t(row)].FrequencyText, frequency);
    QCOMPARE(rows[size_t(row)].EnrText, enr);
    for (int r = 0; r < kEnrRows; ++r) {
        QVERIFY(rows[size_t(r)].FrequencyText.size() <= 32);
        QVERIFY(rows[size_t(r)].EnrText.size() <= 32);
        if (r >= firstEmptyRow) {
            QVERIFY2(rows[size_t(r)].FrequencyText.isEmpty() && rows[size_t(r)].EnrText.isEmpty(),
                     qPrintable(QStringLiteral("row %1").arg(r + 1)));
        }
    }
    // Reading the whole content at once gives the same rows.
    QCOMPARE(ParseEnrTab(ReadFileBytes(file)), rows);
}

void TestEnrFiles::tabHugeFiles()
{
    QTemporaryDir dir;
    // A million lines: the first 40 count.
    const QString many = dir.filePath(QStringLiteral("many.tab"));
    {
        QFile f(many);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray block;
        for (int i = 0; i < 1000; ++i)
            block += QByteArray::number(i) + "\r\n";
        for (int i = 0; i < 1000; ++i)
            f.write(block);
    }
    const EnrRows rows = ReadEnrTabFile(many);
    QCOMPARE(rows[0].FrequencyText, QStringLiteral("0"));
    QCOMPARE(rows[19].EnrText, QStringLiteral("39"));

    // One line of 8 MB without any line end.
    const QString oneLine = dir.filePath(QStringLiteral("oneline.tab"));
    writeChecked(oneLine, QByteArray(8 * 1024 * 1024, '4'));
    const EnrRows single = ReadEnrTabFile(oneLine);
    QCOMPARE(single[0].FrequencyText, QString(32, u'4'));
    QVERIFY(single[0].EnrText.isEmpty());
    QVERIFY(single[19].FrequencyText.isEmpty());

    // An empty file gives empty cells; a missing one an error naming it.
    const QString empty = dir.filePath(QStringLiteral("empty.tab"));
    writeChecked(empty, QByteArray());
    QCOMPARE(ReadEnrTabFile(empty), EnrRows{});
    try {
        ReadEnrTabFile(dir.filePath(QStringLiteral("missing.tab")));
        QFAIL("a missing file was read");
    } catch (const EFileError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("missing.tab")), qPrintable(e.message()));
    }
}

void TestEnrFiles::notARegularFile_data()
{
    QTest::addColumn<QString>("path");  // empty: a named pipe made for the test
    QTest::addColumn<bool>("store");    // default.tbl rather than a table file
    QTest::newRow("table file: named pipe") << QString() << false;
    QTest::newRow("table file: endless device") << QStringLiteral("/dev/zero") << false;
    QTest::newRow("store: named pipe") << QString() << true;
}

void TestEnrFiles::notARegularFile()
{
    // A pipe without a writer blocks the open, an endless device never gives 40 lines: either
    // would hang the program. Only regular files are read.
    QFETCH(QString, path);
    QFETCH(bool, store);
    QTemporaryDir dir;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("pipe.tab"));
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    } else if (!QFileInfo::exists(path)) {
        QSKIP("no such device here");
    }
    const ReadOutcome outcome = store ? BoundedRead([path] { ReadEnrStoreFile(path); })
                                      : BoundedRead([path] { ReadEnrTabFile(path); });
    QCOMPARE(outcome, ReadOutcome::Refused);
}

void TestEnrFiles::tabWriteAndReadBack()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.tab"));
    EnrRows rows = DefaultEnrRows();
    rows[3] = {QStringLiteral("2.5µ"), QString()};
    writeChecked(path, QByteArray("old content that is longer than nothing"));
    WriteEnrTabFile(path, rows);
    const QByteArray bytes = ReadFileBytes(path);
    QCOMPARE(bytes, FormatEnrTab(rows));
    QVERIFY(bytes.contains("\r\n2.5\xB5\r\n\r\n3.0\r\n"));
    QCOMPARE(ReadEnrTabFile(path), rows);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("t.tab")});
}

void TestEnrFiles::tabWriteFailure()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no/such/folder/t.tab"));
    QVERIFY_THROWS_EXCEPTION(EFileError, WriteEnrTabFile(path, DefaultEnrRows()));
    QVERIFY(!QFile::exists(path));
}

void TestEnrFiles::codePage()
{
    QCOMPARE(ToWindows1252(QStringLiteral("µ°ä€™")), QByteArray("\xB5\xB0\xE4\x80\x99"));
    QCOMPARE(FromWindows1252(QByteArray("\xB5\xB0\xE4\x80\x99\x81")), QStringLiteral("µ°ä€™\u0081"));
    QCOMPARE(ToWindows1252(QStringLiteral("a\u4e2db")), QByteArray("a?b"));
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QCOMPARE(ToWindows1252(FromWindows1252(all)), all);
}

QTEST_GUILESS_MAIN(TestEnrFiles)
#include "tst_enr_files.moc"
