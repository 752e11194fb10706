// The menu commands that take results out beside the designed files: "Export CSV ..." and
// "Save graph as ...".
#include "app/main_window.h"

#include "app/input_mask_form.h"
#include "app/results_out.h"
#include "app/widgets.h"
#include "base/engvalue.h"
#include "base/errors.h"
#include "base/files.h"
#include "results/bench_export.h"
#include "noise/enr_store.h"
#include "results/limit_results.h"
#include "app/noise_source_page.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSpinBox>

namespace {

/// `chosen` with `suffix` appended unless it already ends in it (letter case ignored).
QString WithSuffix(const QString &chosen, const QString &suffix)
{
    return chosen.endsWith(suffix, Qt::CaseInsensitive) ? chosen : chosen + suffix;
}

}  // namespace

/// The name the export dialogs propose: the measurement's own name, or "measurement", with
/// `suffix`, in the working folder.
QString TForm1::proposedExportPath(const QString &suffix) const
{
    const QString name = Graphic->MeasurementName.isEmpty() ? QStringLiteral("measurement") : Graphic->MeasurementName;
    return QDir::current().absoluteFilePath(name + suffix);
}

void TForm1::ExportCSV1Click()
{
    const std::optional<QString> chosen = dialogs().saveFileNamed(CsvFilter(), 1, proposedExportPath(QStringLiteral(".csv")));
    if (!chosen)
        return;
    const QString path = WithSuffix(*chosen, QStringLiteral(".csv"));
    if (!MayReplaceFile(path))
        return;

    QList<std::pair<QString, QString>> details;
    if (InputMaskeFrm)
        details = ReportDetailLines(InputMaskeFrm->reportTexts(), InputMaskeFrm->remarkLines());
    // The source the rows are evaluated with, named as the noise-source page names it.
    const QString sourceText = NoiseSource->sourceTextOf(rg_ENR->ItemIndex());
    CsvExportDetails csv = MeasurementCsvDetails(MeasurementRecord, evaluationContext(), sourceText, details);
    csv.measured = Graphic->MeasuredAt;
    // Each limit in force and pass or fail, as the command line writes them.
    const QList<StepLimitResult> limits = StepLimitResults(CsvStepRows(MeasurementRecord, csv), Graphic->Limits);
    QString error;
    if (!WriteFileAtomically(path, csvExportText(csv, LimitCsvColumns(Graphic->Limits, limits)), &error))
        throw EFileError(path + QStringLiteral(": ") + error);
}

QByteArray TForm1::csvExportText(const CsvExportDetails &details, const QList<CsvColumn> &extraColumns) const
{
    // The designed export, unless the bench corrects: then its columns and "#" lines too, as
    // the command line writes them for the same measurement.
    if (!details.context.corrects())
        return MeasurementCsvText(MeasurementRecord, details, StepCsvColumns() + extraColumns);
    return BenchCsvText(completeMeasurement(), details, extraColumns);
}

void TForm1::GrafikSpeichern1Click()
{
    const std::optional<QString> chosen = dialogs().saveFileNamed(GraphFilter(), 1, proposedExportPath(QStringLiteral(".png")));
    if (!chosen)
        return;
    // Without an extension of its own the name gets the first format of the list.
    QString path = *chosen;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    if (!MayReplaceFile(path))
        return;
    QString error;
    if (!SaveGraph(path, gfx->canvas().image(), Graphic->GraphGeometry, Graphic->graphData(se_Freq->value()), &error))
        throw EFileError(path + QStringLiteral(": ") + error);
}
