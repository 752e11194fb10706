// The "F - Calculator" page through the real window: the worked example character for
// character, the failures the operator can provoke, and where the results land in the record.

#include "app/main_window.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TestCalculatorPage : public QObject
{
    Q_OBJECT

    std::unique_ptr<WorkingFolder> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm1> m_form;

    void setLevels(const char *n2off, const char *n2on, const char *n12off, const char *n12on)
    {
        m_form->e_n2off->setText(QString::fromLatin1(n2off));
        m_form->e_n2on->setText(QString::fromLatin1(n2on));
        m_form->e_n12off->setText(QString::fromLatin1(n12off));
        m_form->e_n12on->setText(QString::fromLatin1(n12on));
    }
    void clickCalculate() { QTest::mouseClick(m_form->b_calc, Qt::LeftButton); }

private slots:
    void init()
    {
        m_dir = std::make_unique<WorkingFolder>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_form = std::make_unique<TForm1>();
        m_form->show();
        m_form->PageControl1->setCurrentIndex(2);
    }
    void cleanup()
    {
        m_form.reset();
        m_dialogs.reset();
        m_dir.reset();
    }

    void workedExample()
    {
        clickCalculate();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
        QCOMPARE(m_form->l_gain->text(), QStringLiteral("Gain: 130.11  (21.14 dB)"));
        QCOMPARE(m_form->l_NoiseFigure->text(), QStringLiteral("F: 1.53  (1.84 dB)"));
        QCOMPARE(m_form->statusText(), QStringLiteral("For calculation used ENR: 5.52 dB"));
        const auto &r = m_form->MeasurementRecord;
        QCOMPARE(r.T0, 290.0);
        QCOMPARE(r.RoomTemperature, 294.15);
        QVERIFY(qAbs(r.Enr - 3.5645) < 1e-4);
        QVERIFY(qAbs(r.GainDb[CalcSlot] - 21.1431) < 1e-3);
        QVERIFY(qAbs(r.NoiseFigureDb[CalcSlot] - 1.845) < 1e-2);
        // The calculator's slot holds the levels as linear milliwatts.
        QVERIFY(qAbs(r.N2off[CalcSlot] - 2.7861e-8) < 1e-11);
        // Nothing was measured, so the selected step is 0 and receives the results too.
        QCOMPARE(r.GainDb[0], r.GainDb[CalcSlot]);
        QCOMPARE(r.NoiseFigureDb[0], r.NoiseFigureDb[CalcSlot]);
    }

    void temperatureInKelvin()
    {
        m_form->e_Temperature->setText(QStringLiteral("294 K"));
        clickCalculate();
        QCOMPARE(m_form->MeasurementRecord.RoomTemperature, 294.0);
    }

    void equalCalibrationLevelsFail()
    {
        // The calibration's noise-source levels being equal divides by zero in the gain.
        clickCalculate();
        const QString gainBefore = m_form->l_gain->text();
        setLevels("-75.55", "-75.55", "-54.25", "-49.06");
        m_form->setStatusText(QString());
        clickCalculate();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].text, QStringLiteral("Error by calculating!"));
        QCOMPARE(m_dialogs->messages[0].type, MsgType::Error);
        QCOMPARE(m_dialogs->messages[0].buttons, MsgButtons::OkCancel);
        QCOMPARE(m_form->l_gain->text(), gainBefore);
        QCOMPARE(m_form->statusText(), QStringLiteral("For calculation used ENR: 5.52 dB"));
        QVERIFY(m_form->Calculator->lastCalculationFailed());
    }

    void equalLevelsWithDutGiveNoNoiseFigure()
    {
        setLevels("-75.55", "-70.25", "-54.25", "-54.25");
        clickCalculate();
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(m_form->l_gain->text(), QStringLiteral("Gain: 1.00  (0.00 dB)"));
        QCOMPARE(m_form->l_NoiseFigure->text(), QStringLiteral("F: Error"));
        QCOMPARE(m_form->MeasurementRecord.NoiseFigureDb[CalcSlot], -1.0);
    }

    void unreadableFieldStopsWithConversionError()
    {
        const QString before = m_form->l_gain->text();
        m_form->e_Temperature->setText(QStringLiteral("abc C"));
        clickCalculate();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].text, QString::fromUtf8("'abc ' ist kein gültiger Gleitkommawert"));
        QCOMPARE(m_form->l_gain->text(), before);
        // The ENR was already looked up when the temperature failed.
        QCOMPARE(m_form->statusText(), QStringLiteral("For calculation used ENR: 5.52 dB"));
    }

    void selectedStepReceivesTheResult()
    {
        m_form->se_Freq->setMaximum(10);
        m_form->se_Freq->setValue(3);
        setLevels("-75.55", "-70.25", "-54.25", "-49.06");
        clickCalculate();
        const auto &r = m_form->MeasurementRecord;
        QCOMPARE(r.GainDb[3], r.GainDb[CalcSlot]);
        QCOMPARE(r.NoiseFigureDb[3], r.NoiseFigureDb[CalcSlot]);
    }
};

QTEST_MAIN(TestCalculatorPage)
#include "tst_calculator_page.moc"
