// The map of the window: which controls and models each page is built with, and every way one
// page hears of another. Nothing else in the pages knows of the window or of another page.
#include "app/main_window.h"

#include "app/widgets.h"

#include <QAction>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>

#include <utility>

void TForm1::buildPages()
{
    Link = new AnalyserLink(MeasurementRecord, this);

    OptionsControls options;
    options.gb_com = gb_com;
    options.cb_Device = cb_Device;
    options.ComboBox1 = ComboBox1;
    options.cb_rbw = cb_rbw;
    options.cb_vbw = cb_vbw;
    options.cb_RFAtt = cb_RFAtt;
    options.e_Range = e_Range;
    options.e_RefLvl = e_RefLvl;
    options.cb_RefLvlAuto = cb_RefLvlAuto;
    options.cb_Average = cb_Average;
    options.e_Sweep = e_Sweep;
    options.rg_Sweep = rg_Sweep;
    options.e_Start = e_Start;
    options.e_Stop = e_Stop;
    options.e_Single = e_Single;
    options.se_steps = se_steps;
    options.cb_COM = cb_COM;
    options.cb_Baud = cb_Baud;
    options.cb_Bits = cb_Bits;
    options.cb_Handshake = cb_Handshake;
    options.cb_Parity = cb_Parity;
    options.cb_StopBits = cb_StopBits;
    options.e_Host = e_Host;
    options.e_TcpPort = e_TcpPort;
    options.cb_LanProtocol = cb_LanProtocol;
    options.e_LanDevice = e_LanDevice;
    options.cb_GpibAdapter = cb_GpibAdapter;
    options.se_GpibAddress = se_GpibAddress;
    options.e_GpibPort = e_GpibPort;
    options.b_connect = b_connect;
    options.b_Start = b_Start;
    options.b_Measure = b_Measure;
    options.b_Measure2 = b_Measure2;
    options.l_Calibrated = l_Calibrated;
    options.e_command = e_command;
    options.Memo1 = Memo1;
    // A calibration holds for the noise source the bench names for it.
    Options = std::make_unique<OptionsPage>(options, MeasurementRecord, *Link, [this] { return Bench.calSource; });

    GraphicControls graphic;
    graphic.gfx = gfx;
    graphic.Label25 = Label25;
    graphic.se_Freq = se_Freq;
    graphic.cb_ShowF = cb_ShowF;
    graphic.cb_ShowG = cb_ShowG;
    graphic.cb_ErrorBars = cb_ErrorBars;
    graphic.l_Uncertainty = l_Uncertainty;
    graphic.l_Guidelines = l_Guidelines;
    graphic.l_References = l_References;
    graphic.result = {l_gain, l_NoiseFigure};
    graphic.cb_Limits = cb_Limits;
    graphic.l_Verdict = l_Verdict;
    graphic.l_StepLimit = l_StepLimit;
    GraphicQueries graphicQueries;
    graphicQueries.context = [this] { return evaluationContext(); };
    // The graph's scale is labelled with the sweep fields' texts.
    graphicQueries.startText = [this] { return e_Start->text(); };
    graphicQueries.stopText = [this] { return e_Stop->text(); };
    // "Save as ..." a complete measurement file holds the window's whole evaluation.
    graphicQueries.complete = [this] { return completeMeasurement(); };
    Graphic = std::make_unique<GraphicPage>(graphic, MeasurementRecord, std::move(graphicQueries));

    CalculatorControls calculator;
    calculator.e_n2off = e_n2off;
    calculator.e_n2on = e_n2on;
    calculator.e_n12off = e_n12off;
    calculator.e_n12on = e_n12on;
    calculator.e_Frequency = e_Frequency;
    calculator.e_Temperature = e_Temperature;
    calculator.l_CalcUncertainty = l_CalcUncertainty;
    calculator.result = {l_gain, l_NoiseFigure};
    calculator.Edit = Edit;
    calculator.gfx2 = gfx2;
    // "Calculate!" stores its result also into the step the graph's selector stands at.
    Calculator = std::make_unique<CalculatorPage>(calculator, MeasurementRecord, Uncertainty,
                                                  [this] { return Graphic->selectedStep(); });

    NoiseSourceControls noiseSource;
    noiseSource.vle_ENR = vle_ENR;
    noiseSource.rg_ENR = rg_ENR;
    noiseSource.e_ENRall = e_ENRall;
    noiseSource.b_TableLoad = b_TableLoad;
    noiseSource.b_TableSave = b_TableSave;
    noiseSource.l_NoiseSource = l_NoiseSource;
    noiseSource.b_EnrFileLoad = b_EnrFileLoad;
    NoiseSource = std::make_unique<NoiseSourcePage>(noiseSource, MeasurementRecord);

    // The road of a measured level ends here: the link's news, shown on the pages.
    Controller = new MeasurementController(*Link, {*Options, *Graphic, *Calculator}, [this] { return statusText(); }, this);
}

void TForm1::wirePages()
{
    // Every page's news for the status bar.
    connect(Calculator.get(), &CalculatorPage::status, this, &TForm1::setStatusText);
    connect(Graphic.get(), &GraphicPage::status, this, &TForm1::setStatusText);
    connect(Options.get(), &OptionsPage::status, this, &TForm1::setStatusText);
    connect(Controller, &MeasurementController::status, this, &TForm1::setStatusText);

    // The ENR in use, published by the Noise Source page: "Calculate!" looks it up.
    connect(NoiseSource.get(), &NoiseSourcePage::enrSourceChanged, Calculator.get(), &CalculatorPage::setEnrSource);
    // ... and the step display, print, export and the uncertainty dialog evaluate with it.
    connect(NoiseSource.get(), &NoiseSourcePage::enrSourceChanged, this, [this](const EnrSource &source) { m_enr = source; });
    // ... and a measurement's header names it.
    connect(NoiseSource.get(), &NoiseSourcePage::enrSourceChanged, Options.get(), &OptionsPage::setEnrSource);
    // Tab leaves the ENR grid for the next control of the window.
    connect(NoiseSource.get(), &NoiseSourcePage::focusNext, this, &TForm1::focusNextField);
    // default.tbl could not be written: told with the other files at close.
    connect(NoiseSource.get(), &NoiseSourcePage::saveFailed, this, &TForm1::reportSaveError);

    // The step display shows its step's levels and frequency in the calculator's fields, and an
    // arithmetic failure as "Calculate!" does.
    connect(Graphic.get(), &GraphicPage::stepInputsShown, Calculator.get(), &CalculatorPage::showStepInputs);
    connect(Graphic.get(), &GraphicPage::stepEvaluated, Calculator.get(), &CalculatorPage::ShowStepEvaluated);
    // A loaded measurement file: its plan in the sweep fields, its noise source selected; once
    // shown, its source's name is the one in use and it may be printed.
    connect(Graphic.get(), &GraphicPage::measurementLoaded, this, [this](const MeasurementHeader &header) {
        // The file's plan is in RF: the next pass tunes it as the bench does, not to the RFs.
        tunePlanToBench();
        // A measurement file names no calibration source of its own.
        if (!std::exchange(m_keepLoadedCalibrationEnr, false))
            m_loadedCalibrationEnr.reset();
        Options->showLoadedPlan(header);
        NoiseSource->selectLoadedSource(header.EnrSource);
    });
    // A loaded complete measurement file: its noise sources, room temperature, uncertainty
    // inputs, bench and report details take effect before its steps are evaluated.
    connect(Graphic.get(), &GraphicPage::completeMeasurementLoaded, this, &TForm1::restoreCompleteMeasurement);
    connect(Graphic.get(), &GraphicPage::loadedMeasurementShown, this, [this] {
        NoiseSource->takeLoadedSourceText();
        dd_print->setEnabled(true);
    });

    // The Options page plans and starts the passes the graph shows.
    connect(Options.get(), &OptionsPage::sweepModeChanged, this,
            [this](bool single) { PageControl1->setTabEnabled(int(Page::Graphic), !single); });
    connect(Options.get(), &OptionsPage::stepsPlanned, Graphic.get(), &GraphicPage::planSteps);
    connect(Options.get(), &OptionsPage::calibrationStarted, Graphic.get(), &GraphicPage::DrawGraphFrame);
    connect(Options.get(), &OptionsPage::measurementStarting, Graphic.get(), &GraphicPage::ResetStepEvaluations);
    // A new pass is evaluated with the calibration in force, not with a loaded file's source.
    for (auto signal : {&OptionsPage::calibrationStarted, &OptionsPage::measurementStarting})
        connect(Options.get(), signal, this, [this] { m_loadedCalibrationEnr.reset(); });
    connect(Options.get(), &OptionsPage::connectionDropped, this, [this] { SetMainWindowEnabled(true); });

    // The search and the passes, as the controller shows them on the window.
    connect(Controller, &MeasurementController::mainWindowEnabled, this, &TForm1::SetMainWindowEnabled);
    connect(Controller, &MeasurementController::pageChosen, this,
            [this](Page page) { PageControl1->setCurrentIndex(int(page)); });
    connect(Controller, &MeasurementController::measurementTaken, this, [this] { Speichern1->setEnabled(true); });

    buildProduction();
    wireLimits();
}
