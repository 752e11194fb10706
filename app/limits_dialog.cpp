#include "app/limits_dialog.h"

#include "app/core/dialogs.h"
#include "app/core/limits_config.h"
#include "app/guarded.h"
#include "app/layout_helpers.h"
#include "base/engvalue.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

using namespace layout;

QString LimitsFilter()
{
    return QStringLiteral("Limits (*.lim;*.txt;*.csv)|*.lim;*.txt;*.csv|all Files (*.*)|*.*");
}

TLimitsDialog::TLimitsDialog(const LimitSet &limits, const QString &file, QWidget *parent)
    : QDialog(parent), m_limits(limits), m_file(file)
{
    setObjectName(QStringLiteral("LimitsDialog"));
    setWindowTitle(QStringLiteral("Limits"));
    setFixedSize(420, 330);
    l_LimitsFile = named(label(this, QString(), 10, 10, 400, 17), "l_LimitsFile");
    tw_Limits = named(new QTableWidget(0, 3, this), "tw_Limits");
    tw_Limits->setGeometry(10, 32, 400, 250);
    tw_Limits->setHorizontalHeaderLabels({QStringLiteral("Kind"), QStringLiteral("Frequency"), QStringLiteral("Limit")});
    tw_Limits->horizontalHeader()->setStretchLastSection(true);
    tw_Limits->verticalHeader()->setVisible(false);
    tw_Limits->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tw_Limits->setSelectionMode(QAbstractItemView::NoSelection);
    b_LimitsLoad = button(this, "b_LimitsLoad", QStringLiteral("Load ..."), 10, 294, 100);
    b_LimitsClear = button(this, "b_LimitsClear", QStringLiteral("Clear"), 120, 294, 100);
    b_LimitsClose = button(this, "b_LimitsClose", QStringLiteral("Close"), 310, 294, 100);
    connect(b_LimitsLoad, &QPushButton::clicked, this, [this] { Guarded([this] { b_LimitsLoadClick(); }); });
    connect(b_LimitsClear, &QPushButton::clicked, this, [this] { Guarded([this] { b_LimitsClearClick(); }); });
    connect(b_LimitsClose, &QPushButton::clicked, this, &QDialog::accept);
    showLimits();
}

void TLimitsDialog::b_LimitsLoadClick()
{
    const std::optional<QString> chosen = dialogs().openFile(LimitsFilter(), 1);
    if (!chosen || chosen->isEmpty())
        return;
    const LimitsFileResult read = ReadLimitsFile(*chosen);
    if (!read.limits) {
        ShowMessage(MsgType::Error, MsgButtons::Ok,
                    QStringLiteral("The limits file %1 was not loaded: %2").arg(QDir::toNativeSeparators(*chosen), read.error));
        return;
    }
    m_limits = *read.limits;
    m_file = QFileInfo(*chosen).absoluteFilePath();
    showLimits();
    emit limitsChanged(m_limits, m_file);
}

void TLimitsDialog::b_LimitsClearClick()
{
    if (m_limits.empty())
        return;
    m_limits = LimitSet();
    m_file.clear();
    showLimits();
    emit limitsChanged(m_limits, m_file);
}

void TLimitsDialog::showLimits()
{
    l_LimitsFile->setText(m_limits.empty() ? QStringLiteral("No limits") : QDir::toNativeSeparators(m_file));
    l_LimitsFile->setToolTip(l_LimitsFile->text());
    b_LimitsClear->setEnabled(!m_limits.empty());
    tw_Limits->setRowCount(0);
    for (const LimitKind kind : kLimitKindsInOrder) {
        for (const LimitPoint &p : m_limits.of(kind)) {
            const int row = tw_Limits->rowCount();
            tw_Limits->insertRow(row);
            tw_Limits->setItem(row, 0, new QTableWidgetItem(LimitKindTitle(kind)));
            tw_Limits->setItem(row, 1, new QTableWidgetItem(FormatValue(3, fvPrefix | fvHz, p.frequencyHz)));
            tw_Limits->setItem(row, 2, new QTableWidgetItem(FormatValue(2, fvDb, p.valueDb)));
        }
    }
}
