// config.ini: exact bytes of a written file (Windows-1252 "Parität", CR LF), round trip, keys
// missing or garbage, other lines kept, files that must neither crash nor hang the start. The
// INI layer below it is tested in tests/base.

#include "app/core/bench_config.h"
#include "app/core/config.h"
#include "app/core/uncertainty_settings.h"
#include "base/inifile.h"

#include "common/working_folder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

IniFile FromBytes(const QByteArray &bytes)
{
    IniFile ini;
    ini.setBytes(bytes);
    return ini;
}

}  // namespace

class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void configBytes();
    void configRoundTrip_data();
    void configRoundTrip();
    void configMissingFile();
    void configMissingKeys_data();
    void configMissingKeys();
    void configKeepsOtherLines();
    void configUnwritable();
    void configGarbage_data();
    void configGarbage();
    void configHugeFile();
    void configNotARegularFile();

    void lanSection_data();
    void lanSection();
    void uncertaintySection_data();
    void uncertaintySection();
    void sectionsRoundTrip();
    void uncertaintyRefusalText();
    void benchSection_data();
    void benchSection();
    void benchRoundTrip();
    void benchFields_data();
    void benchFields();
};

Q_DECLARE_METATYPE(LanConfig)

void TestConfigFile::configBytes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("config.ini");
    const ConfigValues values{3, 6, 1, 1, 2, 0, 120, -40};
    QString error;
    QVERIFY2(WriteConfig(values, &error, path), qPrintable(error));
    const QByteArray expected = "[Schnittstelle]\r\n"
                                "Port=3\r\n"
                                "Baudrate=6\r\n"
                                "Bits=1\r\n"
                                "HandShake=1\r\n"
                                "Parit\xE4t=2\r\n"
                                "StopBits=0\r\n"
                                "[Fenster]\r\n"
                                "Top=120\r\n"
                                "Left=-40\r\n";
    QCOMPARE(ReadFileBytesOrMissing(path), expected);
    // "Parität" is seven bytes, the sixth E4.
    const QByteArray parity = ReadFileBytesOrMissing(path).split('\n').at(5).left(7);
    QCOMPARE(parity.size(), 7);
    QCOMPARE(quint8(parity.at(5)), quint8(0xE4));

    // Writing again over the file gives the same bytes, not a second copy of the keys.
    QVERIFY(WriteConfig(values, &error, path));
    QCOMPARE(ReadFileBytesOrMissing(path), expected);
}

void TestConfigFile::configRoundTrip_data()
{
    QTest::addColumn<ConfigValues>("values");
    QTest::newRow("designed selections") << ConfigValues{1, 6, 1, 1, 0, 0, 200, 300};
    QTest::newRow("no item selected") << ConfigValues{0, -1, -1, -1, -1, -1, 0, 0};
    QTest::newRow("extremes") << ConfigValues{INT_MAX, INT_MIN, 0, 2, 2, 1, -32000, 32000};
}

void TestConfigFile::configRoundTrip()
{
    QFETCH(ConfigValues, values);
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    QString error;
    QVERIFY(WriteConfig(values, &error, path));
    const auto read = ReadConfig(path);
    QVERIFY(read.has_value());
    QCOMPARE(*read, values);
}

void TestConfigFile::configMissingFile()
{
    QTemporaryDir dir;
    QVERIFY(!ReadConfig(dir.filePath("config.ini")).has_value());
    // An empty file exists: every key 0.
    QVERIFY(WriteFileBytes(dir.filePath("empty.ini"), QByteArray()));
    const auto empty = ReadConfig(dir.filePath("empty.ini"));
    QVERIFY(empty.has_value());
    QCOMPARE(*empty, ConfigValues{});
}

void TestConfigFile::configMissingKeys_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<ConfigValues>("expected");
    QTest::newRow("only the window")
        << QByteArray("[Fenster]\r\nTop=10\r\nLeft=20\r\n") << ConfigValues{0, 0, 0, 0, 0, 0, 10, 20};
    QTest::newRow("lower-case keys and sections")
        << QByteArray("[schnittstelle]\nport=4\nbaudrate=5\nbits=1\nhandshake=2\nPARIT\xC4T=1\nstopbits=1\n")
        << ConfigValues{4, 5, 1, 2, 1, 1, 0, 0};
    QTest::newRow("letters and huge numbers")
        << QByteArray("[Schnittstelle]\nPort=COM3\nBaudrate=123456789012\nBits=-1\n[Fenster]\nTop=1e3\nLeft=0x20\n")
        << ConfigValues{0, 0, -1, 0, 0, 0, 0, 32};
}

void TestConfigFile::configMissingKeys()
{
    QFETCH(QByteArray, file);
    QFETCH(ConfigValues, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    QVERIFY(WriteFileBytes(path, file));
    const auto read = ReadConfig(path);
    QVERIFY(read.has_value());
    QCOMPARE(*read, expected);
}

void TestConfigFile::configKeepsOtherLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    QVERIFY(WriteFileBytes(path, "[Fenster]\nLeft=5\n[Other]\nX=1\n"));
    QString error;
    QVERIFY(WriteConfig(ConfigValues{2, 0, 0, 0, 0, 0, 7, 8}, &error, path));
    QCOMPARE(ReadFileBytesOrMissing(path), QByteArray("[Fenster]\r\nLeft=8\r\nTop=7\r\n[Other]\r\nX=1\r\n"
                                          "[Schnittstelle]\r\nPort=2\r\nBaudrate=0\r\nBits=0\r\n"
                                          "HandShake=0\r\nParit\xE4t=0\r\nStopBits=0\r\n"));
}

void TestConfigFile::configUnwritable()
{
    QTemporaryDir dir;
    // A folder in place of the file cannot be replaced by it.
    const QString path = dir.filePath("config.ini");
    QVERIFY(QDir(dir.path()).mkdir("config.ini"));
    QString error;
    QVERIFY(!WriteConfig(ConfigValues{}, &error, path));
    QVERIFY2(error.startsWith(QStringLiteral("The settings could not be saved to ")), qPrintable(error));
    QVERIFY(error.contains(QStringLiteral("config.ini")));

    // A folder that does not exist.
    QVERIFY(!WriteConfig(ConfigValues{}, &error, dir.filePath("no/such/folder/config.ini")));
    QVERIFY(!error.isEmpty());
}

void TestConfigFile::configGarbage_data()
{
    QTest::addColumn<QByteArray>("file");

    QByteArray binary;
    QRandomGenerator random(12345);
    for (int i = 0; i < 100000; ++i)
        binary.append(char(random.bounded(256)));
    QTest::newRow("random bytes") << binary;
    QTest::newRow("NUL bytes") << QByteArray(5000, '\0');
    QTest::newRow("only line ends") << QByteArray(200000, '\n');
    QTest::newRow("brackets without end") << QByteArray("[Schnittstelle\nPort=3\n[[[[\n]]]]\n=\n==\n");
    QTest::newRow("one long line") << QByteArray(300000, 'x');
    QTest::newRow("many sections")
        << QByteArray("[Fenster]\n").repeated(20000) + "[Schnittstelle]\nPort=9\n";
}

void TestConfigFile::configGarbage()
{
    QFETCH(QByteArray, file);
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    QVERIFY(WriteFileBytes(path, file));
    const auto read = ReadConfig(path);
    QVERIFY(read.has_value());
    // Whatever was read, it can be written back and read again to the same values.
    QString error;
    QVERIFY2(WriteConfig(*read, &error, path), qPrintable(error));
    const auto again = ReadConfig(path);
    QVERIFY(again.has_value());
    QCOMPARE(*again, *read);
}

void TestConfigFile::configHugeFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    // 10 MB of lines that look like keys: only the first megabyte is read.
    QByteArray file = "[Schnittstelle]\r\nPort=5\r\n";
    file += QByteArray("Junk=1234567890\r\n").repeated(10 * 1024 * 1024 / 17);
    file += "Baudrate=6\r\n";
    QVERIFY(WriteFileBytes(path, file));
    QElapsedTimer timer;
    timer.start();
    const auto read = ReadConfig(path);
    qInfo("10 MB file read in %lld ms", timer.elapsed());
    QVERIFY(read.has_value());
    QCOMPARE(read->Port, 5);
    QCOMPARE(read->Baudrate, 0);  // beyond the first megabyte
    QString error;
    QVERIFY(WriteConfig(*read, &error, path));
    QVERIFY(QFileInfo(path).size() <= IniFile::kMaxReadBytes + 200);
    QCOMPARE(ReadConfig(path)->Port, 5);
}

void TestConfigFile::configNotARegularFile()
{
    // A named pipe in place of config.ini would block the start in open() until some writer
    // came. It is read as a file that cannot be read: every key 0. The read runs on a thread of
    // its own, so that a read that never ends fails the test instead of hanging it.
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    auto result = std::make_shared<std::promise<std::optional<ConfigValues>>>();
    std::future<std::optional<ConfigValues>> read = result->get_future();
    std::thread([path, result] { result->set_value(ReadConfig(path)); }).detach();
    QVERIFY2(read.wait_for(std::chrono::seconds(3)) == std::future_status::ready, "the read never ended");
    const std::optional<ConfigValues> values = read.get();
    QVERIFY(values.has_value());
    QCOMPARE(*values, ConfigValues{});

    // Written at the close, the settings replace the pipe with a file.
    QString error;
    QVERIFY2(WriteConfig(ConfigValues{1, 2, 1, 0, 0, 0, 5, 6}, &error, path), qPrintable(error));
    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(*ReadConfig(path), (ConfigValues{1, 2, 1, 0, 0, 0, 5, 6}));
}

void TestConfigFile::lanSection_data()
{
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<LanConfig>("expected");
    const LanConfig serial;
    const auto lan = [](int interface, const QString &host, int port) {
        LanConfig c;
        c.Interface = interface;
        c.Host = host;
        c.TcpPort = port;
        return c;
    };
    QTest::newRow("no section") << QByteArray() << serial;
    QTest::newRow("Ethernet") << QByteArray("Interface=1\r\nHost=fsp.lab\r\nTcpPort=5026\r\n")
                              << lan(1, QStringLiteral("fsp.lab"), 5026);
    QTest::newRow("Interface 0") << QByteArray("Interface=0\r\nHost=fsp.lab\r\n") << lan(0, QStringLiteral("fsp.lab"), 5025);
    QTest::newRow("Interface 2 is the serial line") << QByteArray("Interface=2\r\n") << serial;
    QTest::newRow("TcpPort 1") << QByteArray("TcpPort=1\r\n") << lan(0, QString(), 1);
    QTest::newRow("TcpPort 65535") << QByteArray("TcpPort=65535\r\n") << lan(0, QString(), 65535);
    QTest::newRow("TcpPort 0") << QByteArray("TcpPort=0\r\n") << serial;
    QTest::newRow("TcpPort 65536") << QByteArray("TcpPort=65536\r\n") << serial;
    QTest::newRow("Host of 255 characters") << "Host=" + QByteArray(255, 'h') + "\r\n"
                                            << lan(0, QString(255, u'h'), 5025);
    QTest::newRow("Host of 256 characters") << "Host=" + QByteArray(256, 'h') + "\r\n"
                                            << lan(0, QString(255, u'h'), 5025);
}

void TestConfigFile::lanSection()
{
    QFETCH(QByteArray, section);
    QFETCH(LanConfig, expected);
    const QByteArray text = "[Schnittstelle]\r\nPort=1\r\n" + (section.isEmpty() ? QByteArray() : "[Ethernet]\r\n" + section);
    const LanConfig read = ReadLanConfig(FromBytes(text));
    QCOMPARE(read.Interface, expected.Interface);
    QCOMPARE(read.Host, expected.Host);
    QCOMPARE(read.TcpPort, expected.TcpPort);
}

void TestConfigFile::uncertaintySection_data()
{
    // Every key at its lowest and its highest value and one step past each: a value out of
    // bounds reads as that input's default.
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("taken");
    for (int i = 0; i < kUncertaintyFieldCount; ++i) {
        const char *key = UncertaintyFields()[size_t(i)].key;
        const bool vswr = i >= 3;  // a perfect match is VSWR 1, a perfect limit of error 0 dB
        const QStringList texts = vswr ? QStringList{"1", "20", "0.99", "20.01"} : QStringList{"0", "10", "-0.01", "10.01"};
        QTest::addRow("%s %s", key, qPrintable(texts[0])) << i << texts[0] << true;
        QTest::addRow("%s %s", key, qPrintable(texts[1])) << i << texts[1] << true;
        QTest::addRow("%s %s", key, qPrintable(texts[2])) << i << texts[2] << false;
        QTest::addRow("%s %s", key, qPrintable(texts[3])) << i << texts[3] << false;
    }
}

void TestConfigFile::uncertaintySection()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(bool, taken);
    const UncertaintyField &f = UncertaintyFields()[size_t(field)];
    const QByteArray ini = "[Uncertainty]\r\n" + QByteArray(f.key) + "=" + text.toLatin1() + "\r\n";
    const UncertaintyInputs read = ReadUncertaintyConfig(FromBytes(ini));
    const double expected = taken ? text.toDouble() : UncertaintyInputs().*(f.member);
    QCOMPARE(read.*(f.member), expected);
    QCOMPARE(ParseUncertaintyValue(text, f).has_value(), taken);
    // The other six keep their defaults.
    for (const UncertaintyField &other : UncertaintyFields())
        if (&other != &f)
            QCOMPARE(read.*(other.member), UncertaintyInputs().*(other.member));
}

void TestConfigFile::sectionsRoundTrip()
{
    // Every input and every LAN setting different from its default and from each other, so
    // that a key written or read for another shows.
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    UncertaintyInputs u;
    u.enrUncertaintyDb = 0.11;
    u.nfUncertaintyDb = 0.22;
    u.gainUncertaintyDb = 0.33;
    u.sourceVswr = 1.04;
    u.dutInputVswr = 1.05;
    u.dutOutputVswr = 1.06;
    u.analyserInputVswr = 1.07;
    LanConfig lan;
    lan.Interface = 1;
    lan.Host = QStringLiteral("192.0.2.7");
    lan.TcpPort = 5026;
    QString error;
    QVERIFY(WriteUncertaintyConfig(u, &error, path));
    QVERIFY(WriteLanConfig(lan, &error, path));
    const UncertaintyInputs readU = ReadUncertaintyConfig(path);
    for (const UncertaintyField &f : UncertaintyFields())
        QVERIFY2(readU.*(f.member) == u.*(f.member), f.key);
    QVERIFY(ReadLanConfig(path) == lan);
    const QByteArray bytes = ReadFileBytesOrMissing(path);
    QVERIFY2(bytes.contains("[Uncertainty]\r\nEnrDb=0.11\r\nNoiseFigureDb=0.22\r\nGainDb=0.33\r\nVswrSource=1.04\r\n"
                            "VswrDutIn=1.05\r\nVswrDutOut=1.06\r\nVswrAnalyser=1.07\r\n"),
             bytes.constData());
    QVERIFY2(bytes.contains("[Ethernet]\r\nInterface=1\r\nHost=192.0.2.7\r\nTcpPort=5026\r\n"), bytes.constData());
}

void TestConfigFile::uncertaintyRefusalText()
{
    UncertaintyTexts texts = UncertaintyFieldTexts(UncertaintyInputs());
    texts[4] = QStringLiteral(" 0.99 ");
    UncertaintyInputs inputs;
    QString error;
    QVERIFY(!ParseUncertaintyTexts(texts, inputs, &error));
    QCOMPARE(error, QStringLiteral("'0.99' is no valid value for \"VSWR DUT input\" (1 to 20)."));
    texts[4] = QStringLiteral("1");
    texts[0] = QStringLiteral("10.5 dB");
    QVERIFY(!ParseUncertaintyTexts(texts, inputs, &error));
    QCOMPARE(error, QStringLiteral("'10.5 dB' is no valid value for \"ENR of the noise source [dB]\" (0 to 10)."));
    texts[0] = QStringLiteral("0 dB");
    QVERIFY(ParseUncertaintyTexts(texts, inputs, &error));
    QCOMPARE(inputs.enrUncertaintyDb, 0.0);
    QCOMPARE(inputs.dutInputVswr, 1.0);
}

void TestConfigFile::benchSection_data()
{
    // What a hand-edited or damaged [Bench] reads as: a value that cannot be measured with is
    // the designed bench's.
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QString>("summary");
    QTest::newRow("fixed loss") << QByteArray("LossBefore=fixed\r\nLossBeforeDb=1.5\r\nLossBeforeTempK=77\r\n")
                                << "Loss before 1.5 dB @ 77 K";
    QTest::newRow("negative loss") << QByteArray("LossBefore=fixed\r\nLossBeforeDb=-1\r\n") << "";
    QTest::newRow("temperature of no loss") << QByteArray("LossAfterTempK=77\r\n") << "";
    QTest::newRow("table") << QByteArray("LossAfter=table\r\nLossAfterTable=1e9:0.5;2e9:0.8\r\n")
                           << "Loss after table (2 points)";
    QTest::newRow("table falling") << QByteArray("LossAfter=table\r\nLossAfterTable=2e9:0.5;1e9:0.8\r\n") << "";
    QTest::newRow("table garbage") << QByteArray("LossAfter=table\r\nLossAfterTable=1e9;x:y\r\n") << "";
    QTest::newRow("converter") << QByteArray("DutType=down\r\nLoHz=9750000000\r\nImageRejectionDb=0\r\n")
                               << "Down-converter LO 9.75 GHz, image 0 dB";
    QTest::newRow("converter without LO") << QByteArray("DutType=up\r\nLoHz=0\r\n") << "";
    QTest::newRow("unknown DUT") << QByteArray("DutType=mixer\r\nLoHz=1e9\r\n") << "";
    QTest::newRow("calibration source") << QByteArray("CalSource=2\r\n") << "Calibration ENR Table2";
    QTest::newRow("calibration source out of range") << QByteArray("CalSource=3\r\n") << "";
}

void TestConfigFile::benchSection()
{
    QFETCH(QByteArray, lines);
    QFETCH(QString, summary);
    const BenchConfig c = ReadBenchConfig(FromBytes("[Bench]\r\n" + lines));
    QCOMPARE(BenchSummaryText(c.bench), summary);
    QCOMPARE(c.bench.isDefault(), summary.isEmpty());
}

void TestConfigFile::benchRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    const QByteArray old = "[Schnittstelle]\r\nPort=3\r\n";
    QVERIFY(WriteFileBytes(path, old));
    // At its defaults the bench leaves an old file as it was.
    QString error;
    QVERIFY(WriteBenchConfig(BenchConfig(), &error, path));
    QCOMPARE(ReadFileBytes(path), old);

    BenchConfig c;
    c.bench.lossBefore.mode = LossMode::Table;
    c.bench.lossBefore.table = {{1e9, 0.5}, {2.5e9, 0.75}};
    c.bench.lossBefore.tableFile = QStringLiteral("cable.csv");
    c.bench.lossBefore.temperatureK = 300.5;
    c.bench.lossAfter.mode = LossMode::Fixed;
    c.bench.lossAfter.fixedDb = 3.25;
    c.bench.dutType = DutType::UpConverter;
    c.bench.loHz = 1.234567891e9;
    c.bench.imageRejectionDb = 17.5;
    c.bench.calSource = 0;
    EnrRows rows = DefaultEnrRows();
    EnrUncertainties u{};
    u[0] = 0.2;
    u[19] = 0.35;
    c.enrUncertainty[1] = KeptUncertainties(u, rows);
    QVERIFY(WriteBenchConfig(c, &error, path));
    QVERIFY(ReadFileBytes(path).startsWith(old));
    const BenchConfig read = ReadBenchConfig(path);
    QVERIFY(read.bench == c.bench);
    QVERIFY(read.enrUncertainty[0].isEmpty());
    QVERIFY(UncertaintiesFor(read.enrUncertainty[1], rows) == u);
    // A table whose frequencies changed keeps the uncertainty only for the rows that did not.
    rows[0].FrequencyText = QStringLiteral("0.02");
    EnrUncertainties changed = u;
    changed[0].reset();
    QVERIFY(UncertaintiesFor(read.enrUncertainty[1], rows) == changed);

    // Back at the defaults, the section says so: the next start reads the designed bench.
    QVERIFY(WriteBenchConfig(BenchConfig(), &error, path));
    QVERIFY(ReadBenchConfig(path).bench.isDefault());
}

void TestConfigFile::benchFields_data()
{
    QTest::addColumn<int>("field");  // 0 loss before dB, 1 its temperature, 2 LO, 3 image rejection
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");  // empty: taken
    QTest::newRow("loss 0 dB") << 0 << "0 dB" << "";
    QTest::newRow("loss not a number") << 0 << "x dB" << "Loss before the DUT: 'x dB' is not a loss of 0 dB or more";
    QTest::newRow("temperature 0 K") << 1 << "0 K" << "";
    QTest::newRow("temperature below 0 K") << 1 << "-300 \u00B0C" << "Loss before the DUT: '-300 \u00B0C' is not a temperature at or above 0 K";
    QTest::newRow("LO 0 Hz") << 2 << "0 MHz" << "LO: '0 MHz' is not a frequency above 0 Hz";
    QTest::newRow("image DSB") << 3 << "0 dB" << "";
    QTest::newRow("image ssb") << 3 << "ssb" << "";
    QTest::newRow("image word") << 3 << "dsb" << "Image rejection: 'dsb' is neither SSB nor 0 dB or more";
}

void TestConfigFile::benchFields()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QString, error);
    const QString room = QStringLiteral("21 \u00B0C");
    BenchSetup start;
    start.lossBefore.mode = LossMode::Fixed;
    start.lossBefore.fixedDb = 1;
    start.dutType = DutType::DownConverter;
    start.loHz = 10e9;
    BenchFields f = BenchFieldsOf(start, room);
    QCOMPARE(f.before.dbText, QStringLiteral("1 dB"));
    QCOMPARE(f.before.temperatureText, room);
    QCOMPARE(f.loText, QStringLiteral("10 GHz"));
    QString *slot[] = {&f.before.dbText, &f.before.temperatureText, &f.loText, &f.imageRejectionText};
    *slot[field] = text;
    BenchSetup bench = start;
    QString message;
    QCOMPARE(ParseBenchFields(f, room, bench, &message), error.isEmpty());
    QCOMPARE(message, error);
    if (!error.isEmpty()) {
        QVERIFY(bench == start);  // a refusal changes nothing
        return;
    }
    // The fields of what was taken read as the same bench again.
    BenchSetup twice;
    QVERIFY(ParseBenchFields(BenchFieldsOf(bench, room), room, twice, &message));
    QVERIFY(twice == bench);
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_inifile.moc"
