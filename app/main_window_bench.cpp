// The bench around the DUT in the window: "Options > Bench ...", the line l_Bench on the
// Options page that says what is in effect, "Load ENR file ..." on the Noise Source page, and
// the section [Bench] of config.ini. With the bench at its defaults nothing here changes what
// the window measures, shows or writes.
#include "app/main_window.h"

#include "app/bench_dialog.h"
#include "app/core/bench_config.h"
#include "app/core/config.h"
#include "app/layout_helpers.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

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
    applyBench();
}

void TForm1::applyBench()
{
    l_Bench->setText(BenchSummaryText(Bench));
    l_Bench->setToolTip(l_Bench->text().isEmpty() ? QStringLiteral("What the bench corrects: Options > Bench ...")
                                                  : l_Bench->text());
    // The analyser is tuned to what the DUT makes of each frequency of the plan.
    MeasurementRecord.SweepPlan.Conversion = Bench.dutType;
    MeasurementRecord.SweepPlan.LoHz = Bench.isConverter() ? Bench.loHz : 0;
    Graphic->RefreshConfidence();
}

std::optional<EnrSource> TForm1::calibrationEnrSource() const
{
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
    NoiseSource->setEnrUncertainty(uncertainty);
    l_Bench->setText(BenchSummaryText(Bench));
    MeasurementRecord.SweepPlan.Conversion = Bench.dutType;
    MeasurementRecord.SweepPlan.LoHz = Bench.isConverter() ? Bench.loHz : 0;
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
    return WriteBenchConfig(config, error, ConfigFilePath());
}
