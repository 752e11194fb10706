// config.ini through the window: what a start reads into the "COM Port" group and the window
// position, what every way of closing writes, and starts from damaged or unwritable folders.

#include "app/main_window.h"
#include "app/widgets.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TestSettingsWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<WorkingFolder> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;

    void writeFile(const QByteArray &bytes)
    {
        QFile f(QStringLiteral("config.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray readFile()
    {
        QFile f(QStringLiteral("config.ini"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }
    static QByteArray expected(int port, int baud, int bits, int hs, int par, int stop, int top, int left)
    {
        QByteArray b = "[Schnittstelle]\r\nPort=" + QByteArray::number(port) + "\r\nBaudrate=" +
                       QByteArray::number(baud) + "\r\nBits=" + QByteArray::number(bits) +
                       "\r\nHandShake=" + QByteArray::number(hs) + "\r\nParit\xE4t=" +
                       QByteArray::number(par) + "\r\nStopBits=" + QByteArray::number(stop) +
                       "\r\n[Fenster]\r\nTop=" + QByteArray::number(top) + "\r\nLeft=" +
                       QByteArray::number(left) + "\r\n";
        return b;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<WorkingFolder>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
    }
    void cleanup()
    {
        m_dialogs.reset();
        m_dir.reset();
    }

    void everyCloseRouteWritesTheFile_data()
    {
        QTest::addColumn<int>("route");
        QTest::newRow("close box") << 0;
        QTest::newRow("menu Exit") << 1;
        QTest::newRow("button Close") << 2;
    }
    void everyCloseRouteWritesTheFile()
    {
        QFETCH(int, route);
        {
            TForm1 f;
            f.show();
            f.move(40, 60);
            if (route == 0)
                f.close();
            else if (route == 1)
                f.Beenden1->trigger();
            else
                QTest::mouseClick(f.Button1, Qt::LeftButton);
            QVERIFY(!f.isVisible());
            const QByteArray bytes = readFile();
            // Designed selections: port text "keiner" (no number) is written as 0.
            const int port = LeadingIntegerOf(f.cb_COM->currentText());
            QCOMPARE(bytes, expected(port, 6, 1, 1, 0, 0, f.pos().y(), f.pos().x()));
        }
        QVERIFY(QFile::exists(QStringLiteral("default.tbl")));
    }

    void startReadsWhatTheLastCloseWrote()
    {
        QPoint where;
        {
            TForm1 f;
            f.show();
            f.cb_Baud->setCurrentIndex(3);
            f.cb_Parity->setCurrentIndex(2);
            f.cb_StopBits->setCurrentIndex(1);
            f.cb_COM->setEditText(QStringLiteral("7"));
            f.move(50, 70);
            where = f.pos();
            f.close();
        }
        TForm1 g;
        QVERIFY(g.configExisted);
        QCOMPARE(g.cb_Baud->currentText(), QStringLiteral("1200"));
        QCOMPARE(g.cb_Parity->currentText(), QStringLiteral("gerade"));
        QCOMPARE(g.cb_StopBits->currentText(), QStringLiteral("2"));
        QCOMPARE(g.cb_COM->currentText(), QStringLiteral("7"));
        QCOMPARE(g.pos(), where);
    }

    void emptyFileGivesZeroes()
    {
        writeFile({});
        TForm1 f;
        QCOMPARE(f.cb_COM->currentText(), QStringLiteral("0"));
        QCOMPARE(f.cb_Baud->currentText(), QStringLiteral("110"));
        QCOMPARE(f.cb_Bits->currentText(), QStringLiteral("7"));
        QCOMPARE(f.cb_Handshake->currentText(), QStringLiteral("keine"));
        QCOMPARE(f.cb_Parity->currentText(), QStringLiteral("keine"));
        QCOMPARE(f.cb_StopBits->currentText(), QStringLiteral("1"));
    }

    void indexOutsideTheListSelectsNothing_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("-1") << QByteArray("-1");
        QTest::newRow("8") << QByteArray("8");
        QTest::newRow("huge") << QByteArray("99999999999999999999");
        QTest::newRow("letters") << QByteArray("abc");
    }
    void indexOutsideTheListSelectsNothing()
    {
        QFETCH(QByteArray, value);
        writeFile("[Schnittstelle]\r\nBaudrate=" + value + "\r\n");
        TForm1 f;
        const bool number = value == "-1" || value == "8";
        if (number)
            QCOMPARE(ItemIndex(f.cb_Baud), -1);
        else
            QCOMPARE(f.cb_Baud->currentText(), QStringLiteral("110"));  // not a number: 0
        f.close();
        // An index of -1 is written back like any other index.
        if (number)
            QVERIFY(readFile().contains("Baudrate=-1\r\n"));
    }

    void garbageNeverCrashes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray binary(4096, '\0');
        QRandomGenerator rng(7);
        for (char &c : binary)
            c = char(rng.bounded(256));
        QTest::newRow("binary") << binary;
        QTest::newRow("no sections") << QByteArray("Port=3\r\nTop=5\r\n");
        QTest::newRow("10 MB") << QByteArray(10 * 1024 * 1024, 'x');
        QTest::newRow("huge position") << QByteArray("[Fenster]\r\nTop=2000000000\r\nLeft=-2000000000\r\n");
    }
    void garbageNeverCrashes()
    {
        QFETCH(QByteArray, bytes);
        writeFile(bytes);
        TForm1 f;
        f.show();
        // Wherever the file put it, the window's title bar is on a screen.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(screen.contains(QPoint(f.pos().x() + f.width() / 2, f.pos().y())));
        f.close();
        QVERIFY(readFile().startsWith("[Schnittstelle]\r\n") || readFile().contains("[Schnittstelle]"));
    }

    void unwritableSettingsStillClose()
    {
        // A folder in the way of config.ini cannot be replaced by a file, whoever runs the test.
        QVERIFY(QDir().mkdir(QStringLiteral("config.ini")));
        auto f = std::make_unique<TForm1>();
        f->show();
        const int before = m_dialogs->messages.size();
        f->close();
        QVERIFY(!f->isVisible());
        QCOMPARE(m_dialogs->messages.size(), before + 1);
        QVERIFY(m_dialogs->lastMessage().contains(QStringLiteral("settings could not be saved")));
        QVERIFY(QFileInfo(QStringLiteral("config.ini")).isDir());
    }

    void nothingSavableIsToldOnce()
    {
        // Neither the settings nor the ENR tables can be written: one message names both.
        QVERIFY(QDir().mkdir(QStringLiteral("config.ini")));
        auto f = std::make_unique<TForm1>();
        f->show();
        QVERIFY(QDir().mkdir(QStringLiteral("default.tbl")));
        const int before = m_dialogs->messages.size();
        f->close();
        QVERIFY(!f->isVisible());
        QCOMPARE(m_dialogs->messages.size(), before + 1);
        QVERIFY(m_dialogs->lastMessage().contains(QStringLiteral("config.ini")));
        QVERIFY(m_dialogs->lastMessage().contains(QStringLiteral("default.tbl")));
    }

private:
    static int LeadingIntegerOf(const QString &text)
    {
        bool ok = false;
        const int v = text.toInt(&ok);
        return ok ? v : 0;
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settings_window.moc"
