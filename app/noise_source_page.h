#pragma once
// The behaviour of the page "Noise Source": the choice of the ENR source, the grid that is the
// working copy of the shown table, default.tbl at start and close, and the table files. The
// store, the cell rules and the file formats live in noise/.

#include "noise/enr_store.h"

#include <QChar>
#include <QObject>
#include <QString>
#include <array>

class QEvent;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QTableWidget;
class RadioGroup;
struct MeasurementRecord;

/// The controls of the page "Noise Source" (with l_NoiseSource of gb_TempFreq, which names
/// the source in use).
struct NoiseSourceControls
{
    QTableWidget *vle_ENR = nullptr;
    RadioGroup *rg_ENR = nullptr;
    QLineEdit *e_ENRall = nullptr;
    QPushButton *b_TableLoad = nullptr;
    QPushButton *b_TableSave = nullptr;
    QLabel *l_NoiseSource = nullptr;
    QPushButton *b_EnrFileLoad = nullptr;  ///< "Load ENR file ...": a noise source's data file
};

class NoiseSourcePage : public QObject
{
    Q_OBJECT

public:
    NoiseSourcePage(const NoiseSourceControls &controls, ::MeasurementRecord &record);

    /// Both tables and the mode applied last; kept in default.tbl.
    EnrTableStore EnrTables;
    /// Names the ENR source in use, at most 32 characters; renewed whenever the mode is applied,
    /// which also writes it in Windows-1252 to the measurement header's NoiseSourceText.
    QString NoiseSourceText;
    /// Per table, the ENR uncertainty of each row where the data file it came from gave one;
    /// kept in config.ini, not in default.tbl.
    std::array<EnrUncertainties, 2> EnrUncertainty{};
    /// Per table, the rows the data file it came from filled, which alone are read; 0 for a
    /// table typed or read from a *.tab file. Kept in config.ini.
    std::array<int, 2> EnrDataFileRows{};

    /// Start-up: the grid's editor and keys, and the designed rows; publishes the source.
    void bindEnrGrid();
    /// Start-up: the names of both tables are empty until default.tbl or a table file sets them.
    void InitEnrTableNames();

    void rg_ENRClick();
    void vle_ENRKeyPress(QChar &key);
    void vle_ENRExit();
    /// Routes the grid's focus and key events; true when the event was consumed.
    bool enrGridEvent(QObject *watched, QEvent *event);
    void PersistEnrTables(bool load);
    void b_TableLoadClick();
    void b_TableSaveClick();
    /// "Load ENR file ...": a noise source's data file into the shown table, with its
    /// uncertainties and its model and serial number; a file that does not read is refused
    /// with its name, line and reason, and nothing changes.
    void b_EnrFileLoadClick();
    /// The uncertainties kept from an earlier run.
    void setEnrUncertainty(const std::array<EnrUncertainties, 2> &uncertainty);
    /// Per table, the model and serial number of the data file its rows came from (empty when
    /// none), which name the table as the noise-source text; kept in config.ini.
    const std::array<QString, 2> &dataFileTexts() const { return m_dataFileText; }
    /// The texts kept from an earlier run; the mode applied next names its table by them.
    void setDataFileTexts(const std::array<QString, 2> &texts) { m_dataFileText = texts; }
    void setDataFileText(int table, const QString &text) { m_dataFileText[size_t(table - 1)] = text; }
    /// The name of source `mode` as the page and a CSV file give it: a data file's model and
    /// serial number, otherwise the caption with the table's file name, or the constant.
    QString sourceTextOf(int mode) const;
    /// The ENR source of item `mode` of rg_ENR (0 the constant, 1 or 2 a table), whether it is
    /// shown or not: the shown table reads the grid, the other the store.
    EnrSource sourceOfMode(int mode) const;

    /// The ENR in use: the selected item of rg_ENR, the text of e_ENRall and the grid's 20 rows
    /// as they stand at the moment of the call.
    EnrSource enrSource() const;
    /// The grid's 20 data rows as they stand, and the grid filled from `rows`.
    EnrRows enrGridRows() const;
    void setEnrGridRows(const EnrRows &rows);

    /// A loaded measurement file names its source: the item it names, when it is one of the three.
    void selectLoadedSource(int enrSource);
    /// A loaded measurement is shown: NoiseSourceText is the file's, or the file takes the one
    /// in use when it holds none.
    void takeLoadedSourceText();

signals:
    /// The ENR in use changed: another item of rg_ENR applied, e_ENRall or a cell of the grid
    /// edited, a table loaded.
    void enrSourceChanged(const EnrSource &source);
    /// Tab left the grid: the focus moves on.
    void focusNext();
    /// default.tbl could not be written.
    void saveFailed(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// Emits enrSourceChanged when the source differs from the one published last.
    void publishEnrSource();

    NoiseSourceControls c;
    ::MeasurementRecord &m_record;
    EnrSource m_published;
    bool m_bound = false;        ///< bindEnrGrid has run: the grid and its signals stand
    bool m_fillingGrid = false;  ///< setEnrGridRows is filling the grid
    /// Per table, the model and serial number of the data file it came from; empty when none.
    std::array<QString, 2> m_dataFileText;
};
