// The confidence in each step: its controls, and "Options > Uncertainty ..." with the inputs of every
// step's uncertainty.
#include "app/main_window.h"

#include "app/layout_helpers.h"
#include "app/uncertainty_dialog.h"
#include "run/calibration_state.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

using namespace layout;

void TForm1::Unsicherheit1Click()
{
    UncertaintyDialog dialog(this);
    dialog.setInputs(Uncertainty);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Uncertainty = dialog.inputs();
    Graphic->RefreshConfidence();
}

// ---- Confidence in each step ---------------------------------------------------------------

void TForm1::buildConfidence()
{
    QWidget *client = centralWidget();
    // The second row under the pages: the selected step's uncertainty right under its noise
    // figure, and its guideline findings to the left, under the gain.
    QFont resultFont = l_NoiseFigure->font();
    resultFont.setPixelSize(15);
    l_Uncertainty = named(label(client, QString(), 380, 511, 110, 22), "l_Uncertainty");
    l_Uncertainty->setFont(resultFont);
    l_Uncertainty->setPalette(l_NoiseFigure->palette());
    l_Uncertainty->setToolTip(QStringLiteral("Uncertainty of the selected step's noise figure"));
    l_Guidelines = named(label(client, QString(), 8, 510, 366, 24), "l_Guidelines");
    QFont small = font();
    small.setPointSizeF(7);
    l_Guidelines->setFont(small);
    // One line of a few words; the sentences are in its tooltip.
    l_Guidelines->setWordWrap(false);
    l_Guidelines->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette orange;
    orange.setColor(QPalette::WindowText, QColor(176, 96, 0));
    l_Guidelines->setPalette(orange);

    cb_ErrorBars = named(new QCheckBox(QStringLiteral("Error bars"), TabSheet2), "cb_ErrorBars");
    cb_ErrorBars->setGeometry(540, 428, 110, 19);
    cb_ErrorBars->setVisible(false);

    l_CalcUncertainty = named(label(TabSheet3, QStringLiteral("Uncertainty: -"), 140, 402, 300), "l_CalcUncertainty");
    l_Calibrated = named(label(TabSheet1, CalibratedText(CalibrationState()), 440, 380, 330, 17), "l_Calibrated");

    Optionen1 = new QMenu(QStringLiteral("Options"), this);
    Optionen1->setObjectName(QStringLiteral("Optionen1"));
    menuBar()->insertMenu(Info1->menuAction(), Optionen1);
    Unsicherheit1 = named(Optionen1->addAction(QStringLiteral("Uncertainty ...")), "Unsicherheit1");
}
