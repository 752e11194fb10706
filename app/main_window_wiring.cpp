// The map of the window: which controls and models each page is built with, and every way one
// page hears of another. Nothing else in the pages knows of the window or of another page.
#include "app/main_window.h"

#include "app/widgets.h"

#include <QAction>
#include <QLineEdit>
#include <QSpinBox>

void TForm1::buildPages()
{
    Link = new AnalyserLink(MeasurementRecord, this);
    Options = std::make_unique<OptionsPage>(*this);

    GraphicControls graphic;
    graphic.gfx = gfx;
    graphic.Label25 = Label25;
    graphic.se_Freq = se_Freq;
    graphic.cb_ShowF = cb_ShowF;
    graphic.cb_ShowG = cb_ShowG;
    graphic.cb_ErrorBars = cb_ErrorBars;
    graphic.l_Uncertainty = l_Uncertainty;
    graphic.l_Guidelines = l_Guidelines;
    graphic.result = {l_gain, l_NoiseFigure};
    GraphicQueries graphicQueries;
    graphicQueries.context = [this] { return evaluationContext(); };
    // The graph's scale is labelled with the sweep fields' texts.
    graphicQueries.startText = [this] { return e_Start->text(); };
    graphicQueries.stopText = [this] { return e_Stop->text(); };
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

    Controller = new MeasurementController(*this, *Link);
}

void TForm1::wirePages()
{
    // Every page's news for the status bar.
    connect(Calculator.get(), &CalculatorPage::status, this, &TForm1::setStatusText);
    connect(Graphic.get(), &GraphicPage::status, this, &TForm1::setStatusText);

    // The ENR in use, published by the Noise Source page: "Calculate!" looks it up.
    connect(NoiseSource.get(), &NoiseSourcePage::enrSourceChanged, Calculator.get(), &CalculatorPage::setEnrSource);
    // ... and the step display, print, export and the uncertainty dialog evaluate with it.
    connect(NoiseSource.get(), &NoiseSourcePage::enrSourceChanged, this, [this](const EnrSource &source) { m_enr = source; });
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
        Options->showLoadedPlan(header);
        NoiseSource->selectLoadedSource(header.EnrSource);
    });
    connect(Graphic.get(), &GraphicPage::loadedMeasurementShown, this, [this] {
        NoiseSource->takeLoadedSourceText();
        dd_print->setEnabled(true);
    });

    buildProduction();
}
