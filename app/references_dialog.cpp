#include "app/references_dialog.h"

#include "app/core/dialogs.h"
#include "app/guarded.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

QString ReferenceFileFilter()
{
    return QStringLiteral("Complete measurement (*.nfm)|*.nfm|Measure (*.mea)|*.mea|CSV (*.csv)|*.csv|all Files (*.*)|*.*");
}

TReferencesDialog::TReferencesDialog(ReferencesDialogActions actions, QWidget *parent)
    : QDialog(parent), m_actions(std::move(actions))
{
    setObjectName(QStringLiteral("ReferencesDialog"));
    setWindowTitle(QStringLiteral("References"));

    auto *caption = new QLabel(QStringLiteral("Reference traces on the graph (at most %1):").arg(kMaxReferences), this);
    lb_References = new QListWidget(this);
    lb_References->setObjectName(QStringLiteral("lb_References"));
    caption->setBuddy(lb_References);

    const auto button = [this](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    b_ReferenceAdd = button("b_ReferenceAdd", QStringLiteral("Add ..."));
    b_ReferenceRemove = button("b_ReferenceRemove", QStringLiteral("Remove"));
    auto *close = button("b_ReferencesClose", QStringLiteral("Close"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(b_ReferenceAdd);
    buttons->addWidget(b_ReferenceRemove);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(lb_References, 1);
    layout->addLayout(buttons);
    resize(420, 220);

    connect(lb_References, &QListWidget::currentRowChanged, this, &TReferencesDialog::selectionChanged);
    connect(b_ReferenceAdd, &QPushButton::clicked, this, [this] { Guarded([this] { b_ReferenceAddClick(); }); });
    connect(b_ReferenceRemove, &QPushButton::clicked, this, [this] { Guarded([this] { b_ReferenceRemoveClick(); }); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    refresh();
}

void TReferencesDialog::refresh()
{
    const int kept = lb_References->currentRow();
    lb_References->clear();
    const QList<ReferenceTrace> traces = m_actions.list();
    for (qsizetype i = 0; i < traces.size(); ++i) {
        QPixmap swatch(16, 4);
        swatch.fill(ReferenceColour(int(i)));
        auto *item = new QListWidgetItem(QIcon(swatch), traces[i].name, lb_References);
        item->setToolTip(QStringLiteral("%1 points").arg(traces[i].points.size()));
    }
    if (kept >= 0 && kept < lb_References->count())
        lb_References->setCurrentRow(kept);
    selectionChanged();
}

void TReferencesDialog::selectionChanged()
{
    b_ReferenceRemove->setEnabled(lb_References->currentRow() >= 0);
    b_ReferenceAdd->setEnabled(lb_References->count() < kMaxReferences);
}

void TReferencesDialog::b_ReferenceAddClick()
{
    const std::optional<QString> chosen = dialogs().openFile(ReferenceFileFilter(), 1);
    if (!chosen)
        return;
    const ReferenceReadResult read = LoadReferenceFile(*chosen);
    if (!read.trace) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, read.error);
        return;
    }
    QString error;
    if (!m_actions.add(*read.trace, &error))
        ShowMessage(MsgType::Error, MsgButtons::Ok, error);
    refresh();
}

void TReferencesDialog::b_ReferenceRemoveClick()
{
    const int row = lb_References->currentRow();
    if (row < 0)
        return;
    m_actions.remove(row);
    refresh();
}
