#pragma once
// "Options > Bench ...": what sits around the DUT. A loss before the DUT and one after it, each
// off, fixed in dB or a table read from a file, each at its physical temperature; the DUT's kind
// with a converter's LO and image rejection; and the noise source of the calibration. The value
// fields follow the editing rules of the main window's fields. OK takes the fields when all of
// them read; otherwise the first wrong one is named and the dialog stays open. Cancel takes
// nothing.

#include "app/core/bench_config.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class EntryFieldFilter;

class BenchDialog : public QDialog
{
    Q_OBJECT
public:
    /// `roomText` is e_Temperature's text: a loss without a temperature of its own shows it.
    BenchDialog(const BenchSetup &bench, const QString &roomText, QWidget *parent = nullptr);

    QComboBox *cb_LossBefore = nullptr;
    QLineEdit *e_LossBefore = nullptr;
    QPushButton *b_LossBeforeTable = nullptr;
    QLineEdit *e_LossBeforeTemp = nullptr;
    QLabel *l_LossBeforeTable = nullptr;  ///< the table's file and points
    QComboBox *cb_LossAfter = nullptr;
    QLineEdit *e_LossAfter = nullptr;
    QPushButton *b_LossAfterTable = nullptr;
    QLineEdit *e_LossAfterTemp = nullptr;
    QLabel *l_LossAfterTable = nullptr;
    QComboBox *cb_DutType = nullptr;
    QLineEdit *e_LO = nullptr;
    QLineEdit *e_ImageRejection = nullptr;  ///< dB, or "SSB" (the key S)
    QComboBox *cb_CalSource = nullptr;
    QPushButton *b_BenchOk = nullptr;
    QPushButton *b_BenchCancel = nullptr;
    /// "Defaults": the fields show the designed bench again (nothing is taken before OK).
    QPushButton *b_BenchDefaults = nullptr;

    /// The bench as OK took it (the one given before OK).
    const BenchSetup &bench() const { return m_bench; }

    void b_BenchOkClick();
    /// "Table ...": reads a loss table file; a file that does not read is refused with its
    /// name and line, and the loss keeps what it had.
    void b_LossTableClick(bool before);

private:
    void showFields(const BenchFields &fields);
    BenchFields fields() const;
    /// Enables the fields that the boxes' choices use.
    void enableFields();
    void showTable(bool before);

    BenchSetup m_bench;
    QString m_roomText;
    LossFields m_tableBefore;  ///< the tables read (only table and tableFile are used)
    LossFields m_tableAfter;
    EntryFieldFilter *m_entry = nullptr;
};
