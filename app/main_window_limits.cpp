// Limit lines and the verdict in the window: "Options / Limits ...", the check box "Limits" on
// the Graphic page, the verdict below the graph and the step display's limit line, and the
// limits file kept in config.ini [Limits]. Without limits nothing here changes what the window
// shows or writes.
#include "app/main_window.h"

#include "app/core/limits_config.h"
#include "app/layout_helpers.h"
#include "app/limits_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMenu>

using namespace layout;

void TForm1::buildLimits()
{
    Grenzwerte1 = named(Optionen1->addAction(QStringLiteral("Limits ...")), "Grenzwerte1");
    // Beside "Error bars" in the row under the graph, shown with the page as the others.
    cb_ErrorBars->resize(76, cb_ErrorBars->height());
    cb_Limits = named(new QCheckBox(QStringLiteral("Limits"), TabSheet2), "cb_Limits");
    cb_Limits->setGeometry(616, 428, 54, 19);
    cb_Limits->setChecked(true);
    cb_Limits->setVisible(false);
    cb_Limits->setToolTip(QStringLiteral("The limit lines and the points that break them: Options > Limits ..."));

    // The second row under the pages, right of the uncertainty.
    QWidget *client = centralWidget();
    l_Verdict = named(label(client, QString(), 496, 512, 150, 20), "l_Verdict");
    QFont bold = l_Uncertainty->font();
    bold.setBold(true);
    l_Verdict->setFont(bold);
    l_StepLimit = named(label(client, QString(), 590, 512, 196, 20), "l_StepLimit");
    QFont small = font();
    small.setPointSizeF(7);
    l_StepLimit->setFont(small);
    QPalette red;
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    l_StepLimit->setPalette(red);
}

void TForm1::wireLimits()
{
    connect(Grenzwerte1, &QAction::triggered, this, [this] {
        if (MainWindowEnabled())
            guarded([this] { Grenzwerte1Click(); });
    });
    connect(cb_Limits, &QCheckBox::clicked, this, [this] { guarded([this] { cb_LimitsClick(); }); });
}

void TForm1::Grenzwerte1Click()
{
    TLimitsDialog dialog(Graphic->Limits, Graphic->LimitsFile, this);
    connect(&dialog, &TLimitsDialog::limitsChanged, this, [this](const LimitSet &limits, const QString &file) {
        Graphic->setLimits(limits, file);
        setStatusText(limits.empty() ? QStringLiteral("Limits cleared")
                                     : QStringLiteral("Limits loaded from ") + QDir::toNativeSeparators(file));
    });
    dialog.exec();
}

void TForm1::readLimitsSettings()
{
    const QString file = ReadLimitsConfig();
    if (file.isEmpty())
        return;
    const LimitsFileResult read = ReadLimitsFile(file);
    if (!read.limits) {
        // No limits are in force, but config.ini keeps naming the file (one on a share that is
        // away today reads again tomorrow) until other limits are loaded.
        Graphic->LimitsFile = file;
        setStatusText(QStringLiteral("Limits not loaded: %1: %2").arg(QDir::toNativeSeparators(file), read.error));
        return;
    }
    Graphic->setLimits(*read.limits, file);
}
