#pragma once
// The window's side of a measurement: it listens to the analyser link's news of the search and
// of both passes and shows it: the progress window, the level fields, the pages, the step
// display and the buttons a completed pass enables. The link decides, the controller shows.

#include "analyser/analyser_dialect.h"
#include "app/page.h"
#include "run/sequencer.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class AnalyserLink;
class CalculatorPage;
class GraphicPage;
class OptionsPage;
class TForm2;

/// How the window shows a pass.
struct PassLook
{
    const char *caption;             ///< of the progress window
    const char *infoPrefix;          ///< of the progress window's info text, before the frequency
    int infoDecimals;                ///< of the frequency in the info text
    LevelField off;                  ///< the field of the level with the noise source off
    LevelField on;                   ///< ... and on
    std::optional<Page> startPage;   ///< shown as the pass starts
    bool showsSweepTime;             ///< e_Sweep shows the analyser's sweep time
    std::optional<Page> sweepModePage;  ///< shown in Sweep mode once the sweep time is in
    Page endPage;                    ///< shown at the end in Sweep mode
    Page endPageSingle;              ///< ... and in Single mode
};

const PassLook &LookOf(PassKind pass);
/// A reading as its level field shows it: "-75.550 dBm" in the calibration, "-75.55" in the
/// measurement.
QString LevelText(PassKind pass, double levelDbm);
/// The progress window's info text for a frequency: "Frequency: 400.00 MHz", "Frequenz: 1.500 GHz".
QString ProgressInfoText(PassKind pass, double hz);

/// The pages a measurement shows itself on.
struct MeasurementPages
{
    OptionsPage &options;
    GraphicPage &graphic;
    CalculatorPage &calculator;
};

class MeasurementController : public QObject
{
    Q_OBJECT

public:
    /// `statusText` tells what the status bar shows now.
    MeasurementController(AnalyserLink &link, MeasurementPages pages, std::function<QString()> statusText,
                          QObject *parent = nullptr);

    /// The progress window a pass shows over the main window (none until it is attached).
    void setProgressWindow(TForm2 *progress) { m_progress = progress; }

signals:
    /// A text for the status bar.
    void status(const QString &text);
    /// The main window takes input, or none while the search or a pass runs.
    void mainWindowEnabled(bool enabled);
    /// The page control is to show `page`.
    void pageChosen(Page page);
    /// A measurement pass ran to its end: there is a measurement to save.
    void measurementTaken();

private:
    void passStarted(PassKind pass, int steps);
    void sweepTimeRead(PassKind pass, const QString &sweepTime);
    void frequencyStarted(PassKind pass, double hz);
    void levelRead(PassKind pass, SourceState source, double levelDbm);
    void stepCompleted(PassKind pass, int step);
    void passEnded(PassKind pass);
    void passFailed(PassKind pass, PassFailure why, const QString &message);
    void waiting(bool waiting);
    void searchEnded(bool found, const QByteArray &identification);
    void showError(const QString &message);
    bool single() const;

    AnalyserLink &m_link;
    MeasurementPages m_pages;
    std::function<QString()> m_statusText;
    TForm2 *m_progress = nullptr;
    bool m_stepErrorShown = false;  ///< an evaluation error of this pass has been shown
    QString m_statusBeforeWait;     ///< the status bar's text before "Waiting for the analyser ..."
};
