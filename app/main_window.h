#pragma once
// The main window: it holds every control, the measurement record, the analyser connection and
// the four pages. Each page is built with its own controls and the models it needs, and knows
// nothing of the window; what one page hears of another is wired once, in
// app/main_window_wiring.cpp, the map of the window. The pages' handlers live in the page
// classes and the window forwards to them under their designed names.
//
// Controls are public members named as designed (the name is also the objectName), so that
// tests find them as an operator would. Handlers that an event starts are public too; a test
// may call them directly or operate the control.

#include "app/calculator_page.h"
#include "app/core/dialogs.h"
#include "app/graphic_page.h"
#include "app/measurement_controller.h"
#include "app/noise_source_page.h"
#include "app/options_page.h"
#include "noise/bench_setup.h"
#include "noise/measurement_record.h"
#include "noise/uncertainty.h"
#include "results/csv_export.h"
#include "results/nfm_file.h"
#include "run/analyser_link.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>

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

class CalibrationKeeper;
class ImageView;
class THistoryDialog;
class TReferencesDialog;
struct ReferenceTrace;
class WindowHistory;
class RadioGroup;
class TForm2;
class TInputMaskeFrm;

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
    QLabel *l_Uncertainty = nullptr;      ///< the selected step's "±0.24 dB", under l_NoiseFigure
    QLabel *l_Guidelines = nullptr;       ///< the selected step's guideline sentences, empty when none
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
    QLabel *l_Host = nullptr;         ///< "Host:", shown with "Ethernet"
    QLineEdit *e_Host = nullptr;      ///< the analyser's host name or address
    QLabel *l_TcpPort = nullptr;      ///< "TCP port:", shown with "Ethernet"
    QLineEdit *e_TcpPort = nullptr;   ///< the analyser's SCPI socket, 1 to 65535
    QLabel *l_LanProtocol = nullptr;      ///< "Protocol:", shown with "Ethernet"
    QComboBox *cb_LanProtocol = nullptr;  ///< "Socket" or "VXI-11"
    QLabel *l_LanDevice = nullptr;        ///< "Device:", shown with VXI-11
    QLineEdit *e_LanDevice = nullptr;     ///< the VXI-11 device name, "inst0"
    QLabel *l_GpibAdapter = nullptr;      ///< "Adapter:", shown with "GPIB"
    QComboBox *cb_GpibAdapter = nullptr;  ///< the "++" adapter on "Serial" or on the "LAN"
    QLabel *l_GpibAddress = nullptr;      ///< "Address:", shown with "GPIB"
    QSpinBox *se_GpibAddress = nullptr;   ///< the analyser's GPIB address, 0 to 30
    QLabel *l_GpibPort = nullptr;         ///< "TCP port:", shown with a LAN adapter
    QLineEdit *e_GpibPort = nullptr;      ///< the LAN adapter's port, 1234
    QPushButton *b_connect = nullptr;
    QPushButton *b_Start = nullptr;
    QPushButton *b_Measure = nullptr;
    QLabel *l_Calibrated = nullptr;       ///< "Not calibrated", "Calibrated: ..."

    // ---- Page 2 "Graphic" ----------------------------------------------------------------
    ImageView *gfx = nullptr;
    QLabel *Label37 = nullptr;
    QSpinBox *se_Freq = nullptr;
    QLabel *Label25 = nullptr;
    QCheckBox *cb_ShowF = nullptr;
    QCheckBox *cb_ShowG = nullptr;
    QCheckBox *cb_ErrorBars = nullptr;    ///< "Error bars", shown with the page like cb_ShowF
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
    QLabel *l_CalcUncertainty = nullptr;  ///< "Uncertainty: ±0.24 dB" of "Calculate!"

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
    QAction *ExportCSV1 = nullptr;        ///< "Export CSV ...": the shown measurement as CSV
    QAction *GrafikSpeichern1 = nullptr;  ///< "Save graph as ...": the graph as PNG or SVG
    QAction *KalibrierungSpeichern1 = nullptr;  ///< "Save calibration ...": the calibration in force
    QAction *KalibrierungLaden1 = nullptr;      ///< "Load calibration ...": a kept calibration
    QAction *Verlauf1 = nullptr;                ///< "History ...": the runs recorded
    QMenu *Optionen1 = nullptr;           ///< "Options"
    QAction *Unsicherheit1 = nullptr;     ///< "Uncertainty ...": the dialog of the inputs
    QAction *Messaufbau1 = nullptr;       ///< "Bench ...": the losses, the DUT's kind, the calibration's source
    QLabel *l_Bench = nullptr;            ///< Options page: what the bench corrects, empty when nothing
    QPushButton *b_EnrFileLoad = nullptr; ///< Noise Source page: "Load ENR file ..."
    QMenu *Info1 = nullptr;
    QAction *About1 = nullptr;
    TForm2 *Form2 = nullptr;
    TInputMaskeFrm *InputMaskeFrm = nullptr;

    /// The single text panel of the status bar.
    QString statusText() const;
    void setStatusText(const QString &text);

    // ---- What the window owns -----------------------------------------------------------------
    ::MeasurementRecord MeasurementRecord;
    bool configExisted = false;  ///< config.ini was read at start-up
    /// The analyser connection: the serial component Pilo, the command channel, the sequencer
    /// and its timer Timer1.
    AnalyserLink *Link = nullptr;
    /// The window's side of the search and the passes, listening to the link.
    MeasurementController *Controller = nullptr;
    /// The behaviour of the four pages.
    std::unique_ptr<OptionsPage> Options;
    std::unique_ptr<GraphicPage> Graphic;
    std::unique_ptr<CalculatorPage> Calculator;
    std::unique_ptr<NoiseSourcePage> NoiseSource;
    /// The inputs of every uncertainty; config.ini [Uncertainty].
    ::UncertaintyInputs Uncertainty;
    /// The context a step is evaluated in, as the window stands: the ENR in use as the Noise
    /// Source page publishes it, the room temperature of e_Temperature (a conversion error when
    /// it does not read), the uncertainty inputs and the reference level (unknown when e_RefLvl
    /// does not read).
    EvaluationContext evaluationContext() const;
    /// Calibrations kept in files and used again (app/main_window_production.cpp).
    CalibrationKeeper *Calibrations = nullptr;
    /// Every completed measurement pass, recorded at once.
    WindowHistory *History = nullptr;
    /// "File / History ...", made when first opened.
    THistoryDialog *HistoryDialog = nullptr;

    // ---- Reference traces on the graph (app/main_window_references.cpp) -----------------------
    QAction *Referenzen1 = nullptr;       ///< "References ...": the reference traces on the graph
    QLabel *l_References = nullptr;       ///< the selected step compared with each reference
    /// "Options / References ...", made when first opened.
    TReferencesDialog *ReferencesDialog = nullptr;
    void Referenzen1Click();
    /// Puts `trace` on the graph and says so in the status bar; false, after telling the
    /// operator why, when the graph cannot take it.
    bool showAsReference(const ReferenceTrace &trace);

    // ---- Start-up, shut-down and the small handlers of the shell ----------------------------
    void FormCreate();
    void FormClose();
    void Beenden1Click();
    void About1Click();
    void TabSheet1Show();
    void TabSheet3Show();
    void ComboBox1Change();
    void cb_DeviceChange();
    /// The main window's input, apart from the progress window that a pass shows over it.
    void SetMainWindowEnabled(bool enabled);
    bool MainWindowEnabled() const;
    /// Tells the operator that a file could not be saved; while the window closes, the
    /// reports are gathered into one message.
    void reportSaveError(const QString &text);
    /// Moves the focus on, as Tab does.
    void focusNextField() { focusNextPrevChild(true); }

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
    /// The text a value field had when its entry began, and the unit its keys chose.
    QString SavedText;
    QString PendingUnit;

    // ---- The pages' handlers, as the controls call them ---------------------------------------
    void rg_SweepClick() { Options->rg_SweepClick(); }
    void cb_RefLvlAutoClick() { Options->cb_RefLvlAutoClick(); }
    void b_connectClick() { Options->b_connectClick(); }
    void e_commandKeyPress(QChar &key) { Options->e_commandKeyPress(key); }
    void b_StartClick() { Options->b_StartClick(); }
    void b_MeasureClick() { Options->b_MeasureClick(); }
    void Timer1Timer() { Link->Timer1Timer(); }

    void TabSheet2Show() { Graphic->TabSheet2Show(); }
    void PageControl1Change() { Graphic->PageControl1Change(PageControl1->currentIndex()); }
    void cb_ShowFClick() { Graphic->cb_ShowFClick(); }
    void cb_ErrorBarsClick() { Graphic->cb_ErrorBarsClick(); }
    void se_FreqChange() { Graphic->se_FreqChange(); }
    void Speichern1Click() { Graphic->Speichern1Click(); }
    void Laden1Click() { Graphic->Laden1Click(); }

    void b_calcClick() { Calculator->b_calcClick(); }
    void Edit1Exit(QLineEdit *field) { Calculator->Edit1Exit(field, SavedText, PendingUnit); }
    void cb_Stage1Click(QCheckBox *box) { Calculator->cb_Stage1Click(box); }
    void gfx2MouseDown() { Calculator->gfx2MouseDown(); }

    void rg_ENRClick() { NoiseSource->rg_ENRClick(); }
    void vle_ENRKeyPress(QChar &key) { NoiseSource->vle_ENRKeyPress(key); }
    void vle_ENRExit() { NoiseSource->vle_ENRExit(); }
    void b_TableLoadClick() { NoiseSource->b_TableLoadClick(); }
    void b_TableSaveClick() { NoiseSource->b_TableSaveClick(); }

    // ---- The menus' own handlers: the report, results out, the uncertainty inputs ------------
    void dd_printClick();
    void ExportCSV1Click();
    /// What "Export CSV ..." writes with `details`: the designed columns, the bench's where it
    /// corrects, then `extraColumns`.
    QByteArray csvExportText(const CsvExportDetails &details, const QList<CsvColumn> &extraColumns = {}) const;
    QString proposedExportPath(const QString &suffix) const;
    void GrafikSpeichern1Click();
    void Unsicherheit1Click();
    void Verlauf1Click();
    /// A completed measurement pass goes into the history.
    void RecordMeasurementRun();

    // ---- The bench around the DUT (app/main_window_bench.cpp) --------------------------------
    /// The losses, the DUT's kind and the calibration's noise source; config.ini [Bench].
    ::BenchSetup Bench;
    void Messaufbau1Click();
    void b_EnrFileLoadClick() { NoiseSource->b_EnrFileLoadClick(); }
    /// The bench takes effect: l_Bench, the plan's tuning, the steps' assessments.
    void applyBench();
    /// The record's plan is tuned as the bench tunes: to the IFs of a converter.
    void tunePlanToBench();
    /// The calibration's own noise source when the bench names one.
    std::optional<EnrSource> calibrationEnrSource() const;
    /// The calibration source of a loaded complete file that the Noise Source page cannot hold
    /// beside the measurement's (two constants, or one table with two sets of rows). It serves
    /// that file's steps until the next pass, bench or measurement file.
    std::optional<EnrSource> m_loadedCalibrationEnr;
    bool m_keepLoadedCalibrationEnr = false;  ///< a complete file is being shown: keep the source
    /// The measurement shown with everything it was evaluated with, for a complete file.
    CompleteMeasurement completeMeasurement() const;
    /// A loaded complete file's settings take effect: both noise sources with their data, the
    /// room temperature, the uncertainty inputs, the bench and the report details.
    void restoreCompleteMeasurement(const CompleteMeasurement &m);

    // ---- Limit lines and the verdict (app/main_window_limits.cpp) ----------------------------
    QAction *Grenzwerte1 = nullptr;  ///< "Options / Limits ...": load, show and clear the limits
    QCheckBox *cb_Limits = nullptr;  ///< Graphic page: "Limits", the lines and failing points on the graph
    QLabel *l_Verdict = nullptr;     ///< below the graph: "PASS", "FAIL: 3 of 11 points", empty without limits
    QLabel *l_StepLimit = nullptr;   ///< the limit the selected step breaks, and by how much
    void Grenzwerte1Click();
    void cb_LimitsClick() { Graphic->cb_LimitsClick(); }
    /// The limits file config.ini [Limits] names, read again at start; one that no longer
    /// reads is said in the status bar and no limits are in force.
    void readLimitsSettings();

    /// Runs `action` and reports any error it raises in an error message box, as the
    /// application's top-level handler does: the operator's action ends there.
    static void guarded(const std::function<void()> &action);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    /// The pages with their controls and models (app/main_window_wiring.cpp).
    void buildPages();
    /// What one page hears of another, wired once (app/main_window_wiring.cpp).
    void wirePages();
    /// Kept calibrations and the history: their menu commands and what they hear.
    void buildProduction();
    void buildPage1();
    void buildPage2();
    void buildPage3();
    void buildPage4();
    void buildTempFreq();
    void buildMenu();
    void buildBench();
    void buildLimits();
    void wireLimits();
    void readBenchSettings();
    bool writeBenchSettings(QString *error);
    void buildConfidence();
    void buildReferences();
    void connectHandlers();
    void bindEntryFields();
    void readSettings();
    void writeSettings();

    QLabel *m_statusLabel = nullptr;
    bool m_closed = false;
    bool m_collectSaveErrors = false;
    QStringList m_saveErrors;
    QLineEdit *m_enteredField = nullptr;  ///< the value field whose entry is under way
    EnrSource m_enr;                      ///< the ENR in use, as the Noise Source page published it
};
