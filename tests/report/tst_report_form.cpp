// The report details form and the print command as the operator meets them: the designed
// form, the fields the command refills and those it keeps, leaving the form by "Ok",
// "cancel" or the close box, and a report printed into a PDF file through the print dialog.

#include "app/main_window.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"
#include "helper_pdf.h"
#include "app/input_mask_form.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPageLayout>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

class TestReportForm : public QObject
{
    Q_OBJECT

    std::unique_ptr<WorkingFolder> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<TInputMaskeFrm> m_report;
    int m_printDialogs = 0;

    QString pdfPath() const { return m_dir->filePath(QStringLiteral("report.pdf")); }

    /// The designed measurement in the main window's record: 400 to 500 MHz in 10 steps.
    void fillRecord(int steps = 10)
    {
        MeasurementRecord &r = m_form->MeasurementRecord;
        r.SweepPlan.Start = 400e6;
        r.SweepPlan.Stop = steps == 0 ? 400e6 : 500e6;
        r.SweepPlan.Step = steps == 0 ? 0 : 10e6;
        r.SweepPlan.Steps = steps;
        for (int i = 0; i <= steps; ++i) {
            r.NoiseFigureDb[size_t(i)] = 1.2 + 0.15 * i;
            r.GainDb[size_t(i)] = 14.8 + 0.65 * i;
        }
        r.RoomTemperature = 294.15;
        m_form->NoiseSource->NoiseSourceText = QStringLiteral("Noise \u00B5-Wave");
    }

    /// Chooses "Print" from the menu; `operatorActions` runs while the form is shown and must
    /// leave it. A form left open is closed after a while so that a fault cannot hang the test.
    void print(const std::function<void(TInputMaskeFrm &)> &operatorActions)
    {
        TInputMaskeFrm &form = *m_report;
        QTimer::singleShot(0, &form, [&form, operatorActions] {
            QVERIFY(form.isVisible());
            QVERIFY(form.isModal());
            operatorActions(form);
        });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, &form, [&form] {
            if (form.isVisible())
                form.reject();
        });
        guard.start(10000);
        m_form->dd_print->setEnabled(true);
        m_form->dd_print->trigger();
        QVERIFY(guard.isActive());
        QVERIFY(!form.isVisible());
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<WorkingFolder>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_printDialogs = 0;
        m_dialogs->preparePrinter = [this](QPrinter &printer) {
            ++m_printDialogs;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdfPath());
            printer.setPageSize(QPageSize(QPageSize::A4));
            printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
        };
        m_form = std::make_unique<TForm1>();
        m_report = std::make_unique<TInputMaskeFrm>(m_form.get());
        m_form->attachSecondaryWindows(nullptr, m_report.get());
        fillRecord();
    }
    void cleanup()
    {
        m_report.reset();
        m_form.reset();
        m_dialogs.reset();
        m_dir.reset();
    }

    void designedFields_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("engineer") << "le_Engineer" << "Test Engineer:" << QRect(8, 56, 121, 24);
        QTest::newRow("DUT") << "le_DUT" << "DUT:" << QRect(141, 56, 121, 24);
        QTest::newRow("date") << "le_Date" << "Date/Time:" << QRect(280, 56, 121, 24);
        QTest::newRow("start") << "le_FreqStart" << "Start Frequency:" << QRect(8, 104, 121, 24);
        QTest::newRow("noise source") << "le_NoiseSource" << "NoiseSource:" << QRect(144, 104, 121, 24);
        QTest::newRow("temperature") << "le_Temperature" << "Room Temperature:" << QRect(280, 104, 121, 24);
        QTest::newRow("stop") << "le_FreqStop" << "Stop Frequency:" << QRect(8, 152, 121, 24);
        QTest::newRow("steps") << "le_FreqSteps" << "Frequency steps:" << QRect(144, 152, 121, 24);
    }
    void designedFields()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        auto *field = m_report->findChild<QLineEdit *>(name);
        QVERIFY(field);
        QCOMPARE(field->geometry(), geometry);
        QVERIFY(field->text().isEmpty());
        QCOMPARE(field->font().pixelSize(), 13);
        QVERIFY(!field->font().bold());
        QLabel *label = TInputMaskeFrm::labelOf(field);
        QVERIFY(label);
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->x(), field->x());
        QVERIFY(label->geometry().bottom() < field->y());
        QVERIFY(label->y() > field->y() - 24);
        QCOMPARE(label->font().pixelSize(), 13);
        QVERIFY(label->font().bold());
        // The caption is shown whole, inside the form, and clear of the next caption.
        QVERIFY2(label->fontMetrics().horizontalAdvance(caption) <= label->contentsRect().width(),
                 qPrintable(QString::number(label->width())));
        QVERIFY(label->geometry().right() < m_report->width());
        for (QLabel *other : m_report->findChildren<QLabel *>())
            if (other != label && other->isVisibleTo(m_report.get()) && !other->text().isEmpty())
                QVERIFY2(!other->geometry().intersects(label->geometry()), qPrintable(other->text()));
    }

    void designedForm()
    {
        TInputMaskeFrm &f = *m_report;
        QCOMPARE(f.windowTitle(), QStringLiteral("Print"));
        QCOMPARE(f.size(), QSize(439, 412));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QCOMPARE(f.Label1->text(), QStringLiteral("Project: "));
        QCOMPARE(f.Label1->geometry(), QRect(8, 8, 67, 20));
        QVERIFY(f.Label1->font().bold());
        QCOMPARE(f.Label1->font().pixelSize(), 16);
        QVERIFY(f.l_Project->text().isEmpty());
        QCOMPARE(f.l_Project->geometry(), QRect(80, 8, 4, 20));
        QCOMPARE(f.Memo1->objectName(), QStringLiteral("Memo1"));
        QCOMPARE(f.Memo1->geometry(), QRect(8, 184, 417, 177));
        QCOMPARE(f.Memo1->toPlainText(), QStringLiteral("Remarks..."));
        QCOMPARE(f.b_Finish->text(), QStringLiteral("Ok"));
        QCOMPARE(f.b_Finish->geometry(), QRect(232, 368, 89, 33));
        QCOMPARE(f.b_Cancel->text(), QStringLiteral("cancel"));
        QCOMPARE(f.b_Cancel->geometry(), QRect(336, 368, 89, 33));
        QCOMPARE(f.Cancelled, 1);
        QVERIFY(!f.isVisible());
        // The form's own font, 11 pixels, is that of the remarks and the buttons.
        QCOMPARE(f.font().pixelSize(), 11);
        QCOMPARE(f.Memo1->font().pixelSize(), 11);
        QCOMPARE(f.b_Finish->font().pixelSize(), 11);
        QCOMPARE(f.b_Cancel->font().pixelSize(), 11);
    }

    void tabOrder()
    {
        TInputMaskeFrm &f = *m_report;
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.le_Engineer->setFocus();
        const QList<QWidget *> order = {f.le_Engineer, f.le_DUT,      f.le_Date,      f.le_FreqStart,
                                        f.le_NoiseSource, f.le_Temperature, f.le_FreqStop, f.le_FreqSteps,
                                        f.le_Serial,   f.Memo1,       f.b_Finish,    f.b_Cancel,     f.le_Engineer};
        for (qsizetype i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), order[i]);
        }
        f.hide();
    }

    void commandFillsTheForm()
    {
        QString date, engineer, start, stop, steps, temperature, source;
        int dateCaret = -1;
        print([&](TInputMaskeFrm &f) {
            date = f.le_Date->text();
            dateCaret = f.le_Date->cursorPosition();
            engineer = f.le_Engineer->text();
            start = f.le_FreqStart->text();
            stop = f.le_FreqStop->text();
            steps = f.le_FreqSteps->text();
            temperature = f.le_Temperature->text();
            source = f.le_NoiseSource->text();
            QTest::mouseClick(f.b_Cancel, Qt::LeftButton);
        });
        QCOMPARE(start, QStringLiteral("400.00 MHz"));
        QCOMPARE(stop, QStringLiteral("500.00 MHz"));
        QCOMPARE(steps, QStringLiteral("10"));
        QCOMPARE(temperature, QStringLiteral("21.0 \u00B0C"));
        QCOMPARE(source, QStringLiteral("Noise \u00B5-Wave"));
        QVERIFY(engineer.isEmpty());
        QCOMPARE(dateCaret, 0);  // the field shows the start of the date, not its end
        // The system's short date, "/", the long time: hours, minutes and seconds as the
        // system's clock shows them, without the name of the time zone.
        const QLocale locale = QLocale::system();
        const QString today = locale.toString(QDate::currentDate(), QLocale::ShortFormat);
        QVERIFY2(date.startsWith(today + QLatin1Char('/')), qPrintable(date));
        const QString time = date.mid(today.size() + 1);
        QVERIFY2(QRegularExpression(QStringLiteral("\\b\\d{1,2}:\\d\\d:\\d\\d\\b")).match(time).hasMatch(),
                 qPrintable(date));
        const QString zone = QDateTime::currentDateTime().timeZoneAbbreviation();
        QVERIFY(!zone.isEmpty());
        QVERIFY2(!time.contains(zone), qPrintable(date));
        QCOMPARE(time, time.trimmed());
    }

    void leavingWithoutOkPrintsNothing_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("close box") << 0;
        QTest::newRow("cancel") << 1;
        QTest::newRow("Escape") << 2;
    }
    void leavingWithoutOkPrintsNothing()
    {
        QFETCH(int, how);
        print([how](TInputMaskeFrm &f) {
            QTest::keyClicks(f.le_DUT, QStringLiteral("LNA 2"));
            if (how == 0)
                f.close();
            else if (how == 1)
                QTest::mouseClick(f.b_Cancel, Qt::LeftButton);
            else
                QTest::keyClick(f.le_DUT, Qt::Key_Escape);
        });
        QCOMPARE(m_report->Cancelled, 1);
        QCOMPARE(m_printDialogs, 0);
        QVERIFY(!QFile::exists(pdfPath()));
        // The texts stay as typed, the placeholder too.
        QCOMPARE(m_report->le_DUT->text(), QStringLiteral("LNA 2"));
        QCOMPARE(m_report->Memo1->toPlainText(), QStringLiteral("Remarks..."));
    }

    void cancelledPrintDialogPrintsNothing()
    {
        m_dialogs->printAnswer = false;
        print([](TInputMaskeFrm &f) { QTest::mouseClick(f.b_Finish, Qt::LeftButton); });
        QCOMPARE(m_report->Cancelled, 0);
        QCOMPARE(m_printDialogs, 1);
        QVERIFY(!QFile::exists(pdfPath()));
        QCOMPARE(m_report->Memo1->toPlainText(), QStringLiteral("Remarks..."));
    }

    void printerThatCannotStartIsReported()
    {
        const QString unreachable = m_dir->filePath(QStringLiteral("no such folder/report.pdf"));
        m_dialogs->preparePrinter = [unreachable](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(unreachable);
        };
        print([](TInputMaskeFrm &f) { QTest::mouseClick(f.b_Finish, Qt::LeftButton); });
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].type, MsgType::Error);
        QVERIFY(m_dialogs->lastMessage().contains(unreachable));
        QVERIFY(!QFile::exists(unreachable));
        // Nothing was printed, so the placeholder is still there.
        QCOMPARE(m_report->Memo1->toPlainText(), QStringLiteral("Remarks..."));
    }

    void okPrintsTheReport()
    {
        if (!HavePdfToText())
            QSKIP("pdftotext (poppler-utils) is not installed");
        print([](TInputMaskeFrm &f) {
            QTest::keyClicks(f.le_Engineer, QStringLiteral("A. Tester"));
            QTest::keyClicks(f.le_DUT, QStringLiteral("LNA 2"));
            // Below the placeholder, two lines of remarks.
            f.Memo1->setFocus();
            QTest::keyClick(f.Memo1, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(f.Memo1, Qt::Key_Return);
            QTest::keyClicks(f.Memo1, QStringLiteral("Bias 5 V, 42 mA"));
            QTest::keyClick(f.Memo1, Qt::Key_Return);
            QTest::keyClicks(f.Memo1, QStringLiteral("Input matched"));
            QTest::mouseClick(f.b_Finish, Qt::LeftButton);
        });
        QCOMPARE(m_report->Cancelled, 0);
        QCOMPARE(m_printDialogs, 1);
        QVERIFY(QFile::exists(pdfPath()));
        // The placeholder is gone from the form; the operator's lines stay.
        QCOMPARE(m_report->Memo1->toPlainText(), QStringLiteral("Bias 5 V, 42 mA\nInput matched"));

        const PdfText pdf = ReadPdfText(pdfPath());
        QCOMPARE(pdf.pages.size(), 1);
        QVERIFY(pdf.pages[0].height() > pdf.pages[0].width());
        QVERIFY(pdf.find(QStringLiteral("Test Report:")));
        // Printable area 190 × 277 mm from a 10 mm margin; columns at 15, 60, 105, 150 mm.
        auto expectAt = [&](const QString &phrase, double xMm, double yMm) {
            const auto box = pdf.find(phrase);
            QVERIFY2(box, qPrintable(phrase));
            QVERIFY2(qAbs(box->left() - MmToPt(10 + xMm)) < MmToPt(0.6), qPrintable(phrase));
            QVERIFY2(qAbs(box->top() - MmToPt(10 + yMm)) < MmToPt(1.0), qPrintable(phrase));
        };
        expectAt(QStringLiteral("A. Tester"), 15, 31);
        expectAt(QStringLiteral("LNA 2"), 60, 31);
        expectAt(QStringLiteral("21.0 \u00B0C"), 105, 31);
        expectAt(QStringLiteral("400.00 MHz"), 15, 45);
        expectAt(QStringLiteral("500.00 MHz"), 60, 45);
        expectAt(QStringLiteral("Noise \u00B5-Wave"), 105, 45);
        expectAt(QStringLiteral("10"), 150, 45);
        expectAt(QStringLiteral("Bias 5 V, 42 mA"), 37, 59);
        expectAt(QStringLiteral("Input matched"), 37, 63);
        QVERIFY(!pdf.find(QStringLiteral("Remarks...")));
        expectAt(m_report->le_Date->text(), 150, 31);
    }

    void longRemarksAreWarnedAbout_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("answer");  // to the warning: 1 OK, 0 cancel
        QTest::addColumn<int>("leftOff");
        QTest::newRow("37 lines fit") << 37 << 1 << 0;
        QTest::newRow("60 lines, printed anyway") << 60 << 1 << 24;
        QTest::newRow("60 lines, cancelled") << 60 << 0 << 24;
    }
    void longRemarksAreWarnedAbout()
    {
        QFETCH(int, lines);
        QFETCH(int, answer);
        QFETCH(int, leftOff);
        m_dialogs->answers.push_back(answer ? MsgResult::Ok : MsgResult::Cancel);
        print([lines](TInputMaskeFrm &f) {
            // The operator replaces the placeholder with a long list of remarks.
            f.Memo1->setFocus();
            QTest::keyClick(f.Memo1, Qt::Key_A, Qt::ControlModifier);
            for (int i = 1; i <= lines; ++i) {
                QTest::keyClicks(f.Memo1, QStringLiteral("remark %1").arg(i));
                if (i < lines)
                    QTest::keyClick(f.Memo1, Qt::Key_Return);
            }
            QTest::mouseClick(f.b_Finish, Qt::LeftButton);
        });
        QCOMPARE(m_report->remarkLines().size(), lines);
        if (leftOff == 0) {
            QVERIFY(m_dialogs->messages.isEmpty());
        } else {
            QCOMPARE(m_dialogs->messages.size(), 1);
            const ShownMessage &warning = m_dialogs->messages[0];
            QCOMPARE(warning.type, MsgType::Warning);
            QCOMPARE(warning.buttons, MsgButtons::OkCancel);
            QVERIFY2(warning.text.contains(QStringLiteral("%1 remark lines").arg(leftOff)), qPrintable(warning.text));
        }
        QCOMPARE(QFile::exists(pdfPath()), answer == 1);
        if (answer == 0 || !HavePdfToText())
            return;
        const PdfText pdf = ReadPdfText(pdfPath());
        const int printed = leftOff == 0 ? lines : 36;
        QVERIFY(pdf.find(QStringLiteral("remark %1").arg(printed)));
        QVERIFY(!pdf.find(QStringLiteral("remark %1").arg(printed + 1)));
        const auto note = pdf.find(QStringLiteral("(%1 more lines not printed)").arg(leftOff));
        QCOMPARE(bool(note), leftOff > 0);
        if (note)  // in the 37th remark line, 59 + 4 × 36 mm below the top of the printable area
            QVERIFY(qAbs(note->top() - MmToPt(10 + 59 + 4 * 36)) < MmToPt(1.0));
    }

    void nextPrintKeepsDutAndRemarks()
    {
        print([](TInputMaskeFrm &f) {
            QTest::keyClicks(f.le_Engineer, QStringLiteral("A. Tester"));
            QTest::keyClicks(f.le_DUT, QStringLiteral("LNA 2"));
            QTest::mouseClick(f.b_Finish, Qt::LeftButton);
        });
        QVERIFY(QFile::exists(pdfPath()));
        // The placeholder alone printed nothing and is gone.
        QVERIFY(m_report->Memo1->toPlainText().isEmpty());

        m_form->MeasurementRecord.SweepPlan.Start = 1.5e9;
        QString engineer, dut, start;
        print([&](TInputMaskeFrm &f) {
            QCOMPARE(f.Cancelled, 1);
            engineer = f.le_Engineer->text();
            dut = f.le_DUT->text();
            start = f.le_FreqStart->text();
            QTest::mouseClick(f.b_Cancel, Qt::LeftButton);
        });
        QVERIFY(engineer.isEmpty());
        QCOMPARE(dut, QStringLiteral("LNA 2"));
        QCOMPARE(start, QStringLiteral("1.50 GHz"));
        QVERIFY(m_report->Memo1->toPlainText().isEmpty());
    }

    void singleFrequencyKeepsThePlan()
    {
        fillRecord(0);
        print([](TInputMaskeFrm &f) { QTest::mouseClick(f.b_Finish, Qt::LeftButton); });
        QVERIFY(QFile::exists(pdfPath()));
        QCOMPARE(m_form->MeasurementRecord.SweepPlan.Steps, 0);
        QCOMPARE(m_form->MeasurementRecord.SweepPlan.Step, 0.0);
    }
};

QTEST_MAIN(TestReportForm)
#include "tst_report_form.moc"
