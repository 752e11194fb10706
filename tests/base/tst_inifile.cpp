// The INI layer: keys and sections found case-insensitively, lines kept when writing, integers
// read like the Windows profile functions.

#include "base/inifile.h"

#include <QTest>

#include <climits>

namespace {

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
    void parseInteger_data();
    void parseInteger();

    void lookup_data();
    void lookup();

    void write_data();
    void write();
};

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

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
