#pragma once
// The report details form: the operator completes the header data of a printed test report
// (engineer, device under test, date, frequency range, noise source, room temperature and
// remarks) before it is printed. The form is created once at start-up and lives as long as
// the main window, so what the operator typed stays in it from one print to the next; the
// print command refills the fields that come from the measurement.
//
// All fields are free text: the form neither checks nor converts them, and the report prints
// them as they stand.

#include "report/print_report.h"

#include <QDialog>
#include <QStringList>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TInputMaskeFrm : public QDialog
{
    Q_OBJECT
public:
    explicit TInputMaskeFrm(QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    QLabel *l_Project = nullptr;
    QLineEdit *le_Engineer = nullptr;
    QLineEdit *le_DUT = nullptr;
    QLineEdit *le_Date = nullptr;
    QLineEdit *le_FreqStart = nullptr;
    QLineEdit *le_NoiseSource = nullptr;
    QLineEdit *le_Temperature = nullptr;
    QLineEdit *le_FreqStop = nullptr;
    QLineEdit *le_FreqSteps = nullptr;
    QLineEdit *le_Serial = nullptr;  ///< the DUT's serial number, kept with the run in the history
    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *b_Finish = nullptr;
    QPushButton *b_Cancel = nullptr;

    /// How the form was left: 1 cancelled (by "cancel", the close box or Escape), 0 by "Ok".
    int32_t Cancelled = 1;

    /// The caption label above a labelled entry field.
    static QLabel *labelOf(QLineEdit *field);

    /// The lines of `Memo1` as the operator sees them: an empty memo has no lines, and a
    /// line break at the very end starts no further line.
    QStringList remarkLines() const;
    void setRemarkLines(const QStringList &lines);
    /// The texts of the eight entry fields, as the report prints them.
    ReportTexts reportTexts() const;

    /// Asks before printing when `notPrinted` remark lines will not fit on the page; true to
    /// print all the same. Asks nothing and returns true when every line fits.
    static bool ConfirmRemarksLeftOff(int notPrinted);

    void FormShow();
    void b_FinishClick();
    void b_CancelClick();

protected:
    void showEvent(QShowEvent *event) override;
};
