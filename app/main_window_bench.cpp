// The bench around the DUT in the window: "Options > Bench ...", the line l_Bench on the
// Options page that says what is in effect, "Load ENR file ..." on the Noise Source page, and
// the section [Bench] of config.ini. With the bench at its defaults nothing here changes what
// the window measures, shows or writes.
#include "app/main_window.h"

#include "app/bench_dialog.h"
#include "app/calibration_keeper.h"
#include "app/core/bench_config.h"
#include "app/core/config.h"
#include "app/input_mask_form.h"
#include "app/layout_helpers.h"
#include "app/widgets.h"
#include "base/engvalue.h"
#include "base/files.h"
#include "base/version.h"
#include "noise/enr_store.h"
#include "results/bench_export.h"
#include "results/nfm_file.h"
#include "run/calibration_state.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <algorithm>

using namespace layout;

void TForm1::buildBench()
{
    Messaufbau1 = named(Optionen1->addAction(QStringLiteral("Bench ...")), "Messaufbau1");
    connect(Messaufbau1, &QAction::triggered, this, [this] {
        if (MainWindowEnabled())
            guarded([this] { Messaufbau1Click(); });
    });
    l_Bench = named(label(TabSheet1, QString(), 440, 398, 330, 17), "l_Bench");
    l_Bench->setToolTip(QStringLiteral("What the bench corrects: Options > Bench ..."));
    b_EnrFileLoad = button(TabSheet4, "b_EnrFileLoad", QStringLiteral("Load ENR file ..."), 328, 152, 200);
    b_EnrFileLoad->setEnabled(false);
    connect(b_EnrFileLoad, &QPushButton::clicked, this, [this] { guarded([this] { b_EnrFileLoadClick(); }); });
}

void TForm1::Messaufbau1Click()
{
    BenchDialog dialog(Bench, e_Temperature->text(), this);
    if (dialog.exec() != QDialog::Accepted || dialog.bench() == Bench)
        return;
    Bench = dialog.bench();
    m_loadedCalibrationEnr.reset();
    applyBench();
}

void TForm1::applyBench()
{
    l_Bench->setText(BenchSummaryText(Bench));
    l_Bench->setToolTip(l_Bench->text().isEmpty() ? QStringLiteral("What the bench corrects: Options > Bench ...")
                                                  : l_Bench->text());
    tunePlanToBench();
    Graphic->RefreshConfidence();
}

void TForm1::tunePlanToBench()
{
    // The analyser is tuned to what the DUT makes of each frequency of the plan.
    MeasurementRecord.SweepPlan.Conversion = Bench.dutType;
    MeasurementRecord.SweepPlan.LoHz = Bench.isConverter() ? Bench.loHz : 0;
}

std::optional<EnrSource> TForm1::calibrationEnrSource() const
{
    if (m_loadedCalibrationEnr)
        return m_loadedCalibrationEnr;
    // A loaded calibration in force was made with the source its file holds; it counts as a
    // source of its own only where it differs from the measurement's.
    if (const std::optional<EnrSource> loaded = Calibrations ? Calibrations->loadedEnrSource() : std::nullopt) {
        const bool same = loaded->mode == m_enr.mode
                          && (loaded->mode == EnrAll ? loaded->enrAllText == m_enr.enrAllText : loaded->rows == m_enr.rows);
        if (same)
            return std::nullopt;
        return loaded;
    }
    if (Bench.calSource == kCalSourceAsMeasurement)
        return std::nullopt;
    return NoiseSource->sourceOfMode(Bench.calSource);
}

void TForm1::readBenchSettings()
{
    const BenchConfig config = ReadBenchConfig(ConfigFilePath());
    Bench = config.bench;
    std::array<EnrUncertainties, 2> uncertainty{};
    for (int t = 1; t <= 2; ++t)
        uncertainty[size_t(t - 1)] = UncertaintiesFor(config.enrUncertainty[size_t(t - 1)], NoiseSource->EnrTables.Table(t).Rows);
    NoiseSource->EnrDataFileRows = config.enrDataFileRows;
    NoiseSource->setEnrUncertainty(uncertainty);
    NoiseSource->setDataFileTexts(config.enrSourceText);
    l_Bench->setText(BenchSummaryText(Bench));
    tunePlanToBench();
}

bool TForm1::writeBenchSettings(QString *error)
{
    BenchConfig config;
    config.bench = Bench;
    for (int t = 1; t <= 2; ++t) {
        // The shown table's grid is the working copy: its frequencies are the table's.
        const EnrRows rows = NoiseSource->sourceOfMode(t).rows;
        config.enrUncertainty[size_t(t - 1)] = KeptUncertainties(NoiseSource->EnrUncertainty[size_t(t - 1)], rows);
    }
    config.enrSourceText = NoiseSource->dataFileTexts();
    config.enrDataFileRows = NoiseSource->EnrDataFileRows;
    return WriteBenchConfig(config, error, ConfigFilePath());
}

// ---- Complete measurement files ------------------------------------------------------------

namespace {

NfmEnrSource NfmSourceOf(const EnrSource &source, const EnrTableStore &tables)
{
    NfmEnrSource s;
    s.mode = source.mode;
    s.enrAllText = source.enrAllText;
    s.rows = source.rows;
    s.uncertaintyDb = source.uncertaintyDb;
    s.dataFileRows = source.dataFileRows;
    if (source.mode == EnrTable1 || source.mode == EnrTable2)
        s.fileName = tables.Table(source.mode).FileName;
    return s;
}

}  // namespace

CompleteMeasurement TForm1::completeMeasurement() const
{
    CompleteMeasurement m;
    m.record = MeasurementRecord;
    m.temperatureText = e_Temperature->text();
    m.roomTemperatureK = ParseValue(e_Temperature->text());
    const SetupSettings settings = Options->setupSettings(MeasurementRecord.SweepPlan.Start);
    m.analyser.rbwText = settings.rbwText;
    m.analyser.vbwText = settings.vbwText;
    m.analyser.vbwIndex = settings.vbwIndex;
    m.analyser.averageText = settings.averageText;
    m.analyser.rfAttText = settings.rfAttText;
    m.analyser.refLevelText = settings.refLevelText;
    m.analyser.rangeText = settings.rangeText;
    m.analyser.single = MeasurementRecord.SweepPlan.Steps == 0 && MeasurementRecord.SweepPlan.Step == 0;
    m.measurementEnr = NfmSourceOf(NoiseSource->enrSource(), NoiseSource->EnrTables);
    if (const std::optional<EnrSource> cal = calibrationEnrSource())
        m.calibrationEnr = NfmSourceOf(*cal, NoiseSource->EnrTables);
    m.bench = Bench;
    m.uncertainty = Uncertainty;
    if (InputMaskeFrm) {
        for (QLineEdit *field : {InputMaskeFrm->le_Engineer, InputMaskeFrm->le_DUT, InputMaskeFrm->le_Date,
                                 InputMaskeFrm->le_FreqStart, InputMaskeFrm->le_NoiseSource, InputMaskeFrm->le_Temperature,
                                 InputMaskeFrm->le_FreqStop, InputMaskeFrm->le_FreqSteps})
            m.reportDetails.append({field->objectName(), field->text()});
        m.remarks = InputMaskeFrm->remarkLines();
    }
    const CalibrationState &cal = Options->Calibration;
    if (cal.valid) {
        m.calibratedAt = cal.endedAt;
        for (int i = 0; i <= std::clamp(int(cal.plan.Steps), 0, kMaxStepSlot); ++i)
            m.calibrationIfsHz << cal.plan.tuneHz(i);
    } else {
        for (int i = 0; i <= std::clamp(int(MeasurementRecord.SweepPlan.Steps), 0, kMaxStepSlot); ++i)
            m.calibrationIfsHz << MeasurementRecord.SweepPlan.tuneHz(i);
    }
    m.measuredAt = Graphic->MeasuredAt;
    m.programVersion = VersionText();
    return m;
}

void TForm1::restoreCompleteMeasurement(const CompleteMeasurement &m)
{
    // The noise sources: the tables take the rows the measurement used, the constant its text.
    const auto restoreSource = [this](const NfmEnrSource &s) {
        if (s.mode == EnrTable1 || s.mode == EnrTable2) {
            EnrTable &t = NoiseSource->EnrTables.Table(s.mode);
            t.Rows = LimitEnrRows(s.rows);
            t.FileName = LimitEnrFileName(s.fileName);
            NoiseSource->EnrUncertainty[size_t(s.mode - 1)] = s.uncertaintyDb;
            NoiseSource->EnrDataFileRows[size_t(s.mode - 1)] = s.dataFileRows;
            if (NoiseSource->EnrTables.ShownTable == s.mode)
                NoiseSource->setEnrGridRows(t.Rows);
        } else {
            e_ENRall->setText(s.enrAllText);
        }
    };
    // Two constants, or one table with two sets of rows, do not fit the page together: the
    // calibration's is then kept aside for this file's steps.
    const bool apart = m.calibrationEnr && m.calibrationEnr->mode == m.measurementEnr.mode
                       && (m.calibrationEnr->mode == EnrAll ? m.calibrationEnr->enrAllText != m.measurementEnr.enrAllText
                                                             : m.calibrationEnr->rows != m.measurementEnr.rows);
    m_loadedCalibrationEnr.reset();
    if (apart)
        m_loadedCalibrationEnr = EnrSourceOf(*m.calibrationEnr);
    else if (m.calibrationEnr)
        restoreSource(*m.calibrationEnr);
    m_keepLoadedCalibrationEnr = true;
    restoreSource(m.measurementEnr);
    // A table from a data file is named by the source's model and serial number, as the
    // measurement's header keeps them.
    if (m.measurementEnr.dataFileRows > 0 && m.measurementEnr.mode != EnrAll) {
        const QString named = FromWindows1252(m.record.MeasurementHeader.NoiseSourceText);
        const QString plain = NoiseSourceTextForTable(m.measurementEnr.mode, LimitEnrFileName(m.measurementEnr.fileName));
        NoiseSource->setDataFileText(m.measurementEnr.mode, named == plain.left(kNoiseSourceTextLimit) ? QString() : named);
    }
    e_ENRall->setText(m.measurementEnr.mode == EnrAll ? m.measurementEnr.enrAllText : e_ENRall->text());
    if (rg_ENR->ItemIndex() == m.measurementEnr.mode)
        rg_ENRClick();
    else
        rg_ENR->setItemIndex(m.measurementEnr.mode);  // applies the mode
    e_Temperature->setText(m.temperatureText);
    Uncertainty = m.uncertainty;
    Bench = m.bench;
    if (InputMaskeFrm) {
        for (const auto &[name, text] : m.reportDetails) {
            if (auto *field = InputMaskeFrm->findChild<QLineEdit *>(name))
                field->setText(text);
        }
        InputMaskeFrm->setRemarkLines(m.remarks);
    }
    applyBench();
}
