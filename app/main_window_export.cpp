// The menu commands that take results out beside the designed files: "Export CSV ..." and
// "Save graph as ...".
#include "app/main_window.h"

#include "app/input_mask_form.h"
#include "app/results_out.h"
#include "app/widgets.h"
#include "base/engvalue.h"
#include "base/errors.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QSpinBox>

namespace {

/// `chosen` with `suffix` appended unless it already ends in it (letter case ignored).
QString WithSuffix(const QString &chosen, const QString &suffix)
{
    return chosen.endsWith(suffix, Qt::CaseInsensitive) ? chosen : chosen + suffix;
}

/// Asks before a file is replaced, as "Save as ..." does; true to write.
bool MayWrite(const QString &path)
{
    return !QFileInfo::exists(path)
           || ShowMessage(MsgType::Confirmation, MsgButtons::YesNo,
                          QStringLiteral("File exists !") + QStringLiteral("\n\r") + QStringLiteral("Overwrite?"),
                          /*defaultNo*/ true)
                  == MsgResult::Yes;
}

}  // namespace

void TForm1::ExportCSV1Click()
{
    const std::optional<QString> chosen = dialogs().saveFile(CsvFilter(), 1);
    if (!chosen)
        return;
    const QString path = WithSuffix(*chosen, QStringLiteral(".csv"));
    if (!MayWrite(path))
        return;

    QList<std::pair<QString, QString>> details;
    if (InputMaskeFrm)
        details = ReportDetailLines(InputMaskeFrm->reportTexts(), InputMaskeFrm->remarkLines());
    QString error;
    if (!WriteMeasurementCsv(path, MeasurementRecord,
                             MeasurementCsvDetails(MeasurementRecord, evaluationContext(), details), &error))
        throw EFileError(path + QStringLiteral(": ") + error);
}

void TForm1::GrafikSpeichern1Click()
{
    const std::optional<QString> chosen = dialogs().saveFile(GraphFilter(), 1);
    if (!chosen)
        return;
    // Without an extension of its own the name gets the first format of the list.
    QString path = *chosen;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    if (!MayWrite(path))
        return;
    QString error;
    if (!SaveGraph(path, gfx->canvas().image(), Graphic->GraphGeometry, Graphic->graphData(se_Freq->value()), &error))
        throw EFileError(path + QStringLiteral(": ") + error);
}
