#pragma once
// The main window: it owns every control, the serial port, the sequencer's timer, the
// measurement record, the ENR tables and the cascade stages. Each handler is short: it reads
// the controls, calls widget-free code and writes the results back.
//
// Controls are public members named as designed (the name is also the objectName), so that
// tests find them as an operator would. Handlers that an event starts are public too; a test
// may call them directly or operate the control.

#include "app/core/dialogs.h"
#include "cascade/cascade.h"
#include "cascade/diagram.h"
#include "noise/measurement_record.h"
#include "noise/enr_store.h"
#include "results/graph.h"
#include "analyser/command_channel.h"
#include "run/sequencer.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QTableWidget;
class QTimer;
class QAction;
class QKeyEvent;

class ImageView;
class RadioGroup;
class TForm2;
class TInputMaskeFrm;
class TPiloComPort;

/// `topLeft` when a window of `size` placed there shows its title bar on a screen; otherwise
/// the nearest position on the primary screen.
QPoint OnScreenPosition(QPoint topLeft, QSize size);

class TForm1 : public QMainWindow
{
    Q_OBJECT

public:
    /// Builds the window and runs the start-up sequence (`FormCreate`) in the current
    /// working directory, where `config.ini` and `default.tbl` live.
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    /// The secondary windows, created hidden right after the main window.
    void attachSecondaryWindows(TForm2 *progress, TInputMaskeFrm *report);

    // ---- Controls outside the pages ---------------------------------------------------
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QWidget *TabSheet3 = nullptr;
    QWidget *TabSheet4 = nullptr;
    QLabel *l_gain = nullptr;
    QLabel *l_NoiseFigure = nullptr;
    QPushButton *Button1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;

    // ---- Page 1 "Options" ----------------------------------------------------------------
    QGroupBox *gb_fsp = nullptr;
    QGroupBox *gb_com = nullptr;
    QComboBox *cb_Device = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QComboBox *cb_rbw = nullptr;
    QComboBox *cb_vbw = nullptr;
    QComboBox *cb_RFAtt = nullptr;
    QLineEdit *e_Range = nullptr;
    QLineEdit *e_RefLvl = nullptr;
    QCheckBox *cb_RefLvlAuto = nullptr;
    QComboBox *cb_Average = nullptr;
    QLineEdit *e_Sweep = nullptr;
    RadioGroup *rg_Sweep = nullptr;
    QLineEdit *e_Start = nullptr;
    QLineEdit *e_Stop = nullptr;
    QLineEdit *e_Single = nullptr;
    QSpinBox *se_steps = nullptr;
    QComboBox *cb_COM = nullptr;
    QComboBox *cb_Baud = nullptr;
    QComboBox *cb_Bits = nullptr;
    QComboBox *cb_Handshake = nullptr;
    QComboBox *cb_Parity = nullptr;
    QComboBox *cb_StopBits = nullptr;
    QPushButton *b_connect = nullptr;
    QPushButton *b_Start = nullptr;
    QPushButton *b_Measure = nullptr;

    // ---- Page 2 "Graphic" ----------------------------------------------------------------
    ImageView *gfx = nullptr;
    QLabel *Label37 = nullptr;
    QSpinBox *se_Freq = nullptr;
    QLabel *Label25 = nullptr;
    QCheckBox *cb_ShowF = nullptr;
    QCheckBox *cb_ShowG = nullptr;
    QPushButton *b_Measure2 = nullptr;

    // ---- Page 3 "F - Calculator" ---------------------------------------------------------
    QGroupBox *GroupBox3 = nullptr;
    ImageView *gfx2 = nullptr;
    std::array<QCheckBox *, 5> cb_Stage{};  ///< cb_Stage1 .. cb_Stage5 (Tag 1..5)
    std::array<QLineEdit *, 24> Edit{};     ///< Edit1 .. Edit24: Edit[k - 1] is "Edit<k>"
    std::array<QLabel *, 4> RowLabels{};    ///< Label33 .. Label36
    QLabel *Label43 = nullptr;              ///< "Total"
    QGroupBox *GroupBox1 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLineEdit *e_n2off = nullptr;
    QLineEdit *e_n2on = nullptr;
    QLineEdit *e_n12off = nullptr;
    QLineEdit *e_n12on = nullptr;
    QPushButton *b_calc = nullptr;

    // ---- Page 4 "Noise Source" -----------------------------------------------------------
    QTableWidget *vle_ENR = nullptr;
    RadioGroup *rg_ENR = nullptr;
    QLineEdit *e_ENRall = nullptr;
    QPushButton *b_TableLoad = nullptr;
    QPushButton *b_TableSave = nullptr;
    QLineEdit *e_command = nullptr;
    QPlainTextEdit *Memo1 = nullptr;

    // ---- Shared group gb_TempFreq (page 1 or page 3) -------------------------------------
    QGroupBox *gb_TempFreq = nullptr;
    QLabel *Label21 = nullptr;
    QLineEdit *e_Temperature = nullptr;
    QLabel *Label22 = nullptr;
    QLabel *l_NoiseSource = nullptr;
    QLabel *l_Frequency = nullptr;
    QLineEdit *e_Frequency = nullptr;

    // ---- Menu and components without a window --------------------------------------------
    QMenu *Datei1 = nullptr;
    QAction *Laden1 = nullptr;
    QAction *Speichern1 = nullptr;
    QAction *dd_print = nullptr;
    QAction *Beenden1 = nullptr;
    QMenu *Info1 = nullptr;
    QAction *About1 = nullptr;
    QTimer *Timer1 = nullptr;
    TPiloComPort *Pilo = nullptr;
    TForm2 *Form2 = nullptr;
    TInputMaskeFrm *InputMaskeFrm = nullptr;

    /// The single text panel of the status bar.
    QString statusText() const;
    void setStatusText(const QString &text);

    // ---- State owned by the window ---------------------------------------------------------
    ::MeasurementRecord MeasurementRecord;
    bool configExisted = false;  ///< config.ini was read at start-up

    // ---- Start-up, shut-down and the small handlers of the shell ----------------------------
    void FormCreate();
    void FormClose();
    void Beenden1Click();
    void About1Click();
    void TabSheet1Show();
    void TabSheet3Show();
    void ComboBox1Change();
    void cb_DeviceChange();

    // ---- Entry fields -------------------------------------------------------------------
    void e_StartEnter(QLineEdit *field);
    /// Returns true when the key was consumed.
    bool e_StartKeyDown(QLineEdit *field, int key);
    /// Key handlers: `key` may be replaced; set it to QChar() to swallow the key.
    void e_StartKeyPress(QLineEdit *field, QChar &key);
    void e_TemperatureKeyPress(QLineEdit *field, QChar &key);
    void e_RangeKeyPress(QLineEdit *field, QChar &key);
    void e_RefLvlKeyPress(QLineEdit *field, QChar &key);
    void Edit1KeyPress(QLineEdit *field, QChar &key);
    void e_StartExit(QLineEdit *field);
    void cb_COMExit(QComboBox *box);

    // ---- F-Calculator ----------------------------------------------------------------------
    void b_calcClick();
    void CalculatePoint();
    /// True when the last CalculatePoint ended in an arithmetic failure ("Error by calculating!").
    bool lastCalculationFailed() const { return m_lastCalculationFailed; }

    // ---- Noise source ENR and table files ---------------------------------------------------
    void rg_ENRClick();
    void vle_ENRKeyPress(QChar &key);
    void vle_ENRExit();
    void PersistEnrTables(bool load);
    void b_TableLoadClick();
    void b_TableSaveClick();

    // ---- Command channel, connection, set-up ---------------------------------------------
    void PiloDataAvailable(TPiloComPort *Sender);
    void e_commandKeyPress(QChar &key);
    void b_connectClick();
    bool InitialiseAnalyser();

    // ---- Sweep plan, sequencer ------------------------------------------------------------
    void MakeSweepPlan();
    void rg_SweepClick();
    void cb_RefLvlAutoClick();
    void b_StartClick();
    void b_MeasureClick();
    void Timer1Timer();

    // ---- Result graph and measurement files ---------------------------------------------------
    void TabSheet2Show();
    void PageControl1Change();
    void cb_ShowFClick();
    void se_FreqChange();
    void ShowStep();
    void DrawGraphFrame();
    void RecomputeResults(int selected);
    void Speichern1Click();
    void Laden1Click();

    // ---- Cascade calculator -----------------------------------------------------------------
    void Edit1Exit(QLineEdit *field);
    void cb_Stage1Click(QCheckBox *box);
    void DrawCascade();
    void gfx2MouseDown();

    // ---- Test report ------------------------------------------------------------------------
    void dd_printClick();

    /// Runs `action` and reports any error it raises in an error message box, as the
    /// application's top-level handler does: the operator's action ends there.
    static void guarded(const std::function<void()> &action);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildPage1();
    void buildPage2();
    void buildPage3();
    void buildPage4();
    void buildTempFreq();
    void buildMenu();
    void connectHandlers();
    void bindEntryFields();
    void readSettings();
    void writeSettings();
    /// Tells the operator that a file could not be saved; while the window closes, the
    /// reports are gathered into one message.
    void reportSaveError(const QString &text);

    QLabel *m_statusLabel = nullptr;
    bool m_closed = false;
    bool m_lastCalculationFailed = false;
    bool m_collectSaveErrors = false;
    QStringList m_saveErrors;

    // ---- Entry-field state ---------------------------------------------------------------
    QString SavedText;
    QString PendingUnit;

    // ---- Further state of the subsystems is added below, one block per subsystem ----------

    // ---- Cascade calculator ----------------------------------------------------------------
public:
    ::CascadeState Cascade;            ///< the five stages and the ticked set
    ::CascadeDrawing CascadeDiagram;   ///< what the last redraw put on gfx2
private:

    // ---- Result graph --------------------------------------------------------------------
public:
    ::GraphGeometry GraphGeometry;  ///< fixed at start-up from the size of gfx
    /// True for a step whose last evaluation stored no noise figure of its own; such a step
    /// is marked on the graph and its noise figure reads "F: Error".
    std::array<bool, kRecordSlots> StepEvaluationFailed{};
    /// Forgets the failed evaluations; a measurement pass calls it when it starts.
    void ResetStepEvaluations();
private:
    ::GraphData graphData(int selected) const;

    // ---- ENR tables --------------------------------------------------------------------------
public:
    ::EnrTableStore EnrTables;  ///< both tables and the mode applied last; kept in default.tbl
    /// Names the ENR source in use, at most 32 characters; renewed whenever the mode is applied,
    /// which also writes it in Windows-1252 to MeasurementRecord.MeasurementHeader.NoiseSourceText.
    QString NoiseSourceText;
    /// The ENR at `frequencyHz` as a linear power ratio, from the selected item of rg_ENR, the
    /// text of e_ENRall and the grid's 20 rows as they stand at the moment of the call.
    double LookupEnr(double frequencyHz);
    /// The grid's 20 data rows as they stand, and the grid filled from `rows`.
    EnrRows enrGridRows() const;
    void setEnrGridRows(const EnrRows &rows);
    /// Start-up: the names of both tables are empty until default.tbl or a table file sets them.
    void InitEnrTableNames();
private:
    void bindEnrGrid();
    bool enrGridEvent(QObject *watched, QEvent *event);
    QLineEdit *m_enteredField = nullptr;  ///< the value field whose entry is under way

    // ---- Analyser link and sequencer ---------------------------------------------------------
public:
    /// The command channel over Pilo; its PendingReply is the one reply slot.
    CommandChannel Channel;
    /// The sequencer's variables and decisions (SequencerState, CancelRequested, ...).
    ::Sequencer Sequencer{MeasurementRecord};
    /// The set-up has stored the analyser's own settings on it; the disconnect brings them back.
    bool StateSaved = false;
    /// SendCommand and ReadReply of the command channel (wait 1 waits, bounded).
    bool SendCommand(const QByteArray &command, int wait);
    bool ReadReply(QByteArray &text);
    /// The main window's input, apart from the progress window that a pass shows over it.
    void SetMainWindowEnabled(bool enabled);
    bool MainWindowEnabled() const;
private:
    void CreateSerialPort();
    void SetSequencerIdle();
    void DisconnectAtClose();
    void PiloHangUp();
    std::unique_ptr<CommandPort> m_commandPort;
    std::unique_ptr<SequencerHost> m_sequencerHost;
};
