// The INI layer and config.ini: exact bytes of a written file (Windows-1252 "Parität", CR LF),
// round trip, keys and sections found case-insensitively, lines kept when writing, integers read
// like the Windows profile functions, garbage files that must neither crash nor hang.

#include "app/core/config.h"
#include "app/core/uncertainty_settings.h"
#include "base/engvalue.h"
#include "base/inifile.h"

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

QByteArray ReadBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

IniFile FromBytes(const QByteArray &bytes)
{
    IniFile ini;
    ini.setBytes(bytes);
    return ini;
}

}  // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void windows1252RoundTrip();
    void windows1252Letters_data();
    void windows1252Letters();

    void parseInteger_data();
    void parseInteger();

    void lookup_data();
    void lookup();

    void write_data();
    void write();

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

    void leadingInteger_data();
    void leadingInteger();

    void lanSection_data();
    void lanSection();
    void uncertaintySection_data();
    void uncertaintySection();
    void sectionsRoundTrip();
    void uncertaintyRefusalText();
};

Q_DECLARE_METATYPE(LanConfig)

void TestIniFile::windows1252RoundTrip()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QCOMPARE(ToWindows1252(FromWindows1252(all)), all);
}

void TestIniFile::windows1252Letters_data()
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

void TestIniFile::windows1252Letters()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(FromWindows1252(bytes), text);
    QCOMPARE(ToWindows1252(text), bytes);
}

void TestIniFile::parseInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("expected");

    QTest::newRow("plain") << "7" << true << 7;
    QTest::newRow("minus one") << "-1" << true << -1;
    QTest::newRow("plus sign") << "+12" << true << 12;
    QTest::newRow("blanks around") << "  42 \t" << true << 42;
    QTest::newRow("largest") << "2147483647" << true << INT_MAX;
    QTest::newRow("smallest") << "-2147483648" << true << INT_MIN;
    QTest::newRow("one too large") << "2147483648" << false << 0;
    QTest::newRow("one too small") << "-2147483649" << false << 0;
    QTest::newRow("huge") << "99999999999999999999999999" << false << 0;
    QTest::newRow("hex 0x") << "0x1F" << true << 31;
    QTest::newRow("hex dollar") << "$10" << true << 16;
    QTest::newRow("hex all ones") << "$FFFFFFFF" << true << -1;
    QTest::newRow("hex too long") << "0x100000000" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("trailing letters") << "7x" << false << 0;
    QTest::newRow("fraction") << "1.5" << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("0x alone") << "0x" << false << 0;
    QTest::newRow("blank inside") << "1 2" << false << 0;
    QTest::newRow("arabic digits") << QStringLiteral("\u0661") << false << 0;
}

void TestIniFile::parseInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, expected);
    const auto value = ParseIniInteger(text);
    QCOMPARE(value.has_value(), valid);
    if (valid)
        QCOMPARE(*value, expected);
}

void TestIniFile::lookup_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("expected");  // readInteger with default -99

    const QByteArray file = "; comment\r\n[Schnittstelle]\r\nPort=7\r\nParit\xE4t=2\r\n"
                            "  Bits = 1  \r\n\r\n[Fenster]\nTop=-5\nLeft=\"12\"\n";
    QTest::newRow("exact") << file << "Schnittstelle" << "Port" << 7;
    QTest::newRow("key in lower case") << file << "Schnittstelle" << "port" << 7;
    QTest::newRow("section in upper case") << file << "SCHNITTSTELLE" << "Port" << 7;
    QTest::newRow("umlaut key") << file << "Schnittstelle" << QStringLiteral("Parit\u00E4t") << 2;
    QTest::newRow("umlaut key, capital") << file << "Schnittstelle" << QStringLiteral("PARIT\u00C4T") << 2;
    QTest::newRow("blanks around key and value") << file << "Schnittstelle" << "Bits" << 1;
    QTest::newRow("LF lines") << file << "Fenster" << "Top" << -5;
    QTest::newRow("quoted value") << file << "Fenster" << "Left" << 12;
    QTest::newRow("key of another section") << file << "Fenster" << "Port" << -99;
    QTest::newRow("missing section") << file << "Nothing" << "Port" << -99;
    QTest::newRow("missing key") << file << "Schnittstelle" << "StopBits" << -99;
    QTest::newRow("UTF-8 spelling is another key") << QByteArray("[S]\nParit\xC3\xA4t=2\n") << "S"
                                                   << QStringLiteral("Parit\u00E4t") << -99;
    QTest::newRow("first of two keys") << QByteArray("[S]\nA=1\na=2\n") << "S" << "A" << 1;
    QTest::newRow("first of two sections") << QByteArray("[S]\nA=1\n[s]\nA=2\n") << "s" << "A" << 1;
    QTest::newRow("section header with blanks") << QByteArray(" [ S ] \nA=3\n") << "S" << "A" << 3;
    QTest::newRow("line without equals") << QByteArray("[S]\nA\nA=4\n") << "S" << "A" << 4;
    QTest::newRow("not a number") << QByteArray("[S]\nA=four\n") << "S" << "A" << -99;
    QTest::newRow("empty value") << QByteArray("[S]\nA=\n") << "S" << "A" << -99;
    QTest::newRow("key before any section") << QByteArray("A=1\n[S]\n") << "S" << "A" << -99;
    QTest::newRow("CR CR LF") << QByteArray("[S]\r\r\nA=5\r\r\n") << "S" << "A" << 5;
}

void TestIniFile::lookup()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(int, expected);
    QCOMPARE(FromBytes(file).readInteger(section, key, -99), expected);
}

void TestIniFile::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("empty file") << QByteArray() << "S" << "A" << "1" << QByteArray("[S]\r\nA=1\r\n");
    QTest::newRow("update in place, spelling kept")
        << QByteArray("[S]\nkey = 1\nB=2\n") << "S" << "KEY" << "9" << QByteArray("[S]\r\nkey=9\r\nB=2\r\n");
    QTest::newRow("append key at end of its section")
        << QByteArray("[S]\r\nA=1\r\n[T]\r\nB=2\r\n") << "s" << "C" << "3"
        << QByteArray("[S]\r\nA=1\r\nC=3\r\n[T]\r\nB=2\r\n");
    QTest::newRow("append before blank lines")
        << QByteArray("[S]\r\nA=1\r\n\r\n[T]\r\n") << "S" << "C" << "3"
        << QByteArray("[S]\r\nA=1\r\nC=3\r\n\r\n[T]\r\n");
    QTest::newRow("append section at end, no blank line")
        << QByteArray("; note\n[S]\nA=1") << "T" << "B" << "2"
        << QByteArray("; note\r\n[S]\r\nA=1\r\n[T]\r\nB=2\r\n");
    QTest::newRow("umlaut key written as one byte")
        << QByteArray() << "S" << QStringLiteral("Parit\u00E4t") << "0" << QByteArray("[S]\r\nParit\xE4t=0\r\n");
    QTest::newRow("other bytes kept")
        << QByteArray("[S]\n\x01\xFF\x81 junk\nA=1\n") << "S" << "A" << "2"
        << QByteArray("[S]\r\n\x01\xFF\x81 junk\r\nA=2\r\n");
}

void TestIniFile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    IniFile ini = FromBytes(before);
    ini.writeString(section, key, value);
    QCOMPARE(ini.toBytes(), after);
    QCOMPARE(ini.readString(section, key, QString()), value);
}

void TestIniFile::configBytes()
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
    QCOMPARE(ReadBytes(path), expected);
    // "Parität" is seven bytes, the sixth E4.
    const QByteArray parity = ReadBytes(path).split('\n').at(5).left(7);
    QCOMPARE(parity.size(), 7);
    QCOMPARE(quint8(parity.at(5)), quint8(0xE4));

    // Writing again over the file gives the same bytes, not a second copy of the keys.
    QVERIFY(WriteConfig(values, &error, path));
    QCOMPARE(ReadBytes(path), expected);
}

void TestIniFile::configRoundTrip_data()
{
    QTest::addColumn<ConfigValues>("values");
    QTest::newRow("designed selections") << ConfigValues{1, 6, 1, 1, 0, 0, 200, 300};
    QTest::newRow("no item selected") << ConfigValues{0, -1, -1, -1, -1, -1, 0, 0};
    QTest::newRow("extremes") << ConfigValues{INT_MAX, INT_MIN, 0, 2, 2, 1, -32000, 32000};
}

void TestIniFile::configRoundTrip()
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

void TestIniFile::configMissingFile()
{
    QTemporaryDir dir;
    QVERIFY(!ReadConfig(dir.filePath("config.ini")).has_value());
    // An empty file exists: every key 0.
    QVERIFY(WriteBytes(dir.filePath("empty.ini"), QByteArray()));
    const auto empty = ReadConfig(dir.filePath("empty.ini"));
    QVERIFY(empty.has_value());
    QCOMPARE(*empty, ConfigValues{});
}

void TestIniFile::configMissingKeys_data()
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

void TestIniFile::configMissingKeys()
{
    QFETCH(QByteArray, file);
    QFETCH(ConfigValues, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    QVERIFY(WriteBytes(path, file));
    const auto read = ReadConfig(path);
    QVERIFY(read.has_value());
    QCOMPARE(*read, expected);
}

void TestIniFile::configKeepsOtherLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    QVERIFY(WriteBytes(path, "[Fenster]\nLeft=5\n[Other]\nX=1\n"));
    QString error;
    QVERIFY(WriteConfig(ConfigValues{2, 0, 0, 0, 0, 0, 7, 8}, &error, path));
    QCOMPARE(ReadBytes(path), QByteArray("[Fenster]\r\nLeft=8\r\nTop=7\r\n[Other]\r\nX=1\r\n"
                                          "[Schnittstelle]\r\nPort=2\r\nBaudrate=0\r\nBits=0\r\n"
                                          "HandShake=0\r\nParit\xE4t=0\r\nStopBits=0\r\n"));
}

void TestIniFile::configUnwritable()
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

void TestIniFile::configGarbage_data()
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

void TestIniFile::configGarbage()
{
    QFETCH(QByteArray, file);
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    QVERIFY(WriteBytes(path, file));
    const auto read = ReadConfig(path);
    QVERIFY(read.has_value());
    // Whatever was read, it can be written back and read again to the same values.
    QString error;
    QVERIFY2(WriteConfig(*read, &error, path), qPrintable(error));
    const auto again = ReadConfig(path);
    QVERIFY(again.has_value());
    QCOMPARE(*again, *read);
}

void TestIniFile::configHugeFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    // 10 MB of lines that look like keys: only the first megabyte is read.
    QByteArray file = "[Schnittstelle]\r\nPort=5\r\n";
    file += QByteArray("Junk=1234567890\r\n").repeated(10 * 1024 * 1024 / 17);
    file += "Baudrate=6\r\n";
    QVERIFY(WriteBytes(path, file));
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

void TestIniFile::configNotARegularFile()
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

void TestIniFile::leadingInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("number") << "7" << 7;
    QTest::newRow("no port") << "keiner" << 0;
    QTest::newRow("blanks and trailing letters") << " 7x" << 7;
    QTest::newRow("negative") << "-3" << -3;
    QTest::newRow("plus") << "+12" << 12;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("sign only") << "-" << 0;
    QTest::newRow("letters first") << "COM3" << 0;
    QTest::newRow("too large") << "99999999999" << 0;
    QTest::newRow("largest") << "2147483647" << INT_MAX;
    QTest::newRow("smallest") << "-2147483648" << INT_MIN;
}

void TestIniFile::leadingInteger()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(LeadingInteger(text), expected);
}


void TestIniFile::lanSection_data()
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

void TestIniFile::lanSection()
{
    QFETCH(QByteArray, section);
    QFETCH(LanConfig, expected);
    const QByteArray text = "[Schnittstelle]\r\nPort=1\r\n" + (section.isEmpty() ? QByteArray() : "[Ethernet]\r\n" + section);
    const LanConfig read = ReadLanConfig(FromBytes(text));
    QCOMPARE(read.Interface, expected.Interface);
    QCOMPARE(read.Host, expected.Host);
    QCOMPARE(read.TcpPort, expected.TcpPort);
}

void TestIniFile::uncertaintySection_data()
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

void TestIniFile::uncertaintySection()
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

void TestIniFile::sectionsRoundTrip()
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
    const QByteArray bytes = ReadBytes(path);
    QVERIFY2(bytes.contains("[Uncertainty]\r\nEnrDb=0.11\r\nNoiseFigureDb=0.22\r\nGainDb=0.33\r\nVswrSource=1.04\r\n"
                            "VswrDutIn=1.05\r\nVswrDutOut=1.06\r\nVswrAnalyser=1.07\r\n"),
             bytes.constData());
    QVERIFY2(bytes.contains("[Ethernet]\r\nInterface=1\r\nHost=192.0.2.7\r\nTcpPort=5026\r\n"), bytes.constData());
}

void TestIniFile::uncertaintyRefusalText()
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

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
