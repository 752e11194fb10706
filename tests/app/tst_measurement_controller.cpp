// How the window shows each pass: the progress window's caption and info text, the level
// fields' texts and the pages at the start, after the sweep time and at the end. The sequence
// of the sequencer's news is tested in tests/run, the whole window against the simulator in
// the end-to-end tests.

#include "app/measurement_controller.h"
#include "app/widget_dialogs.h"

#include <QTest>

class TestMeasurementController : public QObject
{
    Q_OBJECT

private slots:
    void passLook_data()
    {
        QTest::addColumn<PassKind>("pass");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<double>("hz");
        QTest::addColumn<QString>("info");
        QTest::addColumn<QString>("offText");  // of the reading -75.55 dBm
        QTest::addColumn<QString>("onText");   // of the reading -70.25 dBm
        QTest::addColumn<LevelField>("offField");
        QTest::addColumn<LevelField>("onField");
        QTest::addColumn<QList<Page>>("sweepPages");   // start, after the sweep time, end
        QTest::addColumn<QList<Page>>("singlePages");  // ... in Single mode
        QTest::addColumn<bool>("showsSweepTime");
        QTest::newRow("calibration at 400 MHz")
            << PassKind::Calibration << "... calibration in progress ..." << 400e6 << "Frequency: 400.00 MHz"
            << "-75.550 dBm" << "-70.250 dBm" << LevelField::N2off << LevelField::N2on
            << QList<Page>{Page::NoiseSource, Page::Options} << QList<Page>{Page::NoiseSource, Page::Options} << true;
        QTest::newRow("calibration at 500 MHz")
            << PassKind::Calibration << "... calibration in progress ..." << 500e6 << "Frequency: 500.00 MHz"
            << "-75.550 dBm" << "-70.250 dBm" << LevelField::N2off << LevelField::N2on
            << QList<Page>{Page::NoiseSource, Page::Options} << QList<Page>{Page::NoiseSource, Page::Options} << true;
        QTest::newRow("measurement at 1.5 GHz")
            << PassKind::Measurement << "... measure in progress ..." << 1.5e9 << "Frequenz: 1.500 GHz" << "-75.55"
            << "-70.25" << LevelField::N12off << LevelField::N12on << QList<Page>{Page::Graphic, Page::Graphic}
            << QList<Page>{Page::Calculator} << false;
        QTest::newRow("measurement at 2 GHz")
            << PassKind::Measurement << "... measure in progress ..." << 2e9 << "Frequenz: 2.000 GHz" << "-75.55"
            << "-70.25" << LevelField::N12off << LevelField::N12on << QList<Page>{Page::Graphic, Page::Graphic}
            << QList<Page>{Page::Calculator} << false;
    }
    void passLook()
    {
        QFETCH(PassKind, pass);
        QFETCH(QString, caption);
        QFETCH(double, hz);
        QFETCH(QString, info);
        QFETCH(QString, offText);
        QFETCH(QString, onText);
        QFETCH(LevelField, offField);
        QFETCH(LevelField, onField);
        QFETCH(QList<Page>, sweepPages);
        QFETCH(QList<Page>, singlePages);
        QFETCH(bool, showsSweepTime);
        const PassLook &look = LookOf(pass);
        QCOMPARE(QString::fromLatin1(look.caption), caption);
        QCOMPARE(ProgressInfoText(pass, hz), info);
        QCOMPARE(QString::fromLatin1(look.infoPrefix) + QStringLiteral("- "), info.left(info.indexOf(u' ') + 1) + "- ");
        QCOMPARE(LevelText(pass, -75.55), offText);
        QCOMPARE(LevelText(pass, -70.25), onText);
        QCOMPARE(look.off, offField);
        QCOMPARE(look.on, onField);
        QCOMPARE(look.showsSweepTime, showsSweepTime);
        // The pages shown in the order of the pass, as the controller picks them.
        for (const bool single : {false, true}) {
            QList<Page> shown;
            if (look.startPage)
                shown << *look.startPage;
            if (look.sweepModePage && !single)
                shown << *look.sweepModePage;
            shown << (single ? look.endPageSingle : look.endPage);
            QCOMPARE(shown, single ? singlePages : sweepPages);
        }
    }

    void commandKeptOnOneLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const QString nb(QChar(0x00A0));
        QTest::newRow("the restore") << "FSP does not answer: MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?"
                                     << "FSP does not answer: MMEM:LOAD:STAT" + nb + "1,'D:\\USER\\DATA\\KORVEL';*OPC?";
        QTest::newRow("the settling sweeps") << "FSP does not answer: INIT:IMM; *WAI; *OPC?"
                                             << "FSP does not answer: INIT:IMM;" + nb + "*WAI;" + nb + "*OPC?";
        QTest::newRow("another message stays") << "Error on opening!" << "Error on opening!";
    }
    void commandKeptOnOneLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(KeepCommandOnOneLine(text), shown);
    }
};

QTEST_MAIN(TestMeasurementController)
#include "tst_measurement_controller.moc"
