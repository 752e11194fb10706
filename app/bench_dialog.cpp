#include "app/bench_dialog.h"

#include "app/core/dialogs.h"
#include "app/core/entry_rules.h"
#include "app/entry_field_filter.h"
#include "base/errors.h"
#include "noise/bench_files.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <tuple>

namespace {

QString TableFilter()
{
    return QStringLiteral("Loss tables (*.csv)|*.csv|all Files (*.*)|*.*");
}

QComboBox *Box(QWidget *parent, const char *name, const QStringList &items, int x, int y, int w)
{
    auto *b = new QComboBox(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->addItems(items);
    b->setGeometry(x, y, w, 22);
    return b;
}

QLineEdit *Field(QWidget *parent, const char *name, int x, int y, int w)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(x, y, w, 21);
    return e;
}

QLabel *Caption(QWidget *parent, const QString &text, int x, int y, int w)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(x, y + 2, w, 17);
    return l;
}

/// The key S in the image-rejection field: single sideband, the image band adds nothing.
bool SsbKey(QChar key, QString &text, QString &pendingUnit)
{
    if (key != u'S' && key != u's')
        return false;
    text = QStringLiteral("SSB");
    pendingUnit.clear();
    return true;
}

}  // namespace

BenchDialog::BenchDialog(const BenchSetup &bench, const QString &roomText, QWidget *parent)
    : QDialog(parent), m_bench(bench), m_roomText(roomText)
{
    setObjectName(QStringLiteral("BenchDialog"));
    setWindowTitle(QStringLiteral("Bench"));
    setModal(true);
    m_entry = new EntryFieldFilter(this);

    const auto lossRow = [this](QWidget *group, const char *box, const char *field, const char *button,
                                const char *temp, QLabel *&tableLabel) {
        Caption(group, QStringLiteral("Loss:"), 10, 22, 40);
        auto *b = Box(group, box, LossModeItems(), 50, 22, 70);
        auto *e = Field(group, field, 128, 22, 70);
        auto *t = new QPushButton(QStringLiteral("Table ..."), group);
        t->setObjectName(QString::fromLatin1(button));
        t->setGeometry(206, 21, 70, 24);
        t->setAutoDefault(false);
        Caption(group, QStringLiteral("at"), 286, 22, 20);
        auto *k = Field(group, temp, 306, 22, 70);
        tableLabel = new QLabel(group);
        tableLabel->setGeometry(50, 50, 330, 17);
        m_entry->bind(e, EntryKind::Range);
        m_entry->bind(k, EntryKind::Temperature);
        return std::tuple{b, e, t, k};
    };

    auto *before = new QGroupBox(QStringLiteral("Between the noise source and the DUT"), this);
    before->setGeometry(10, 8, 390, 76);
    std::tie(cb_LossBefore, e_LossBefore, b_LossBeforeTable, e_LossBeforeTemp) =
        lossRow(before, "cb_LossBefore", "e_LossBefore", "b_LossBeforeTable", "e_LossBeforeTemp", l_LossBeforeTable);
    l_LossBeforeTable->setObjectName(QStringLiteral("l_LossBeforeTable"));
    auto *after = new QGroupBox(QStringLiteral("Between the DUT and the analyser"), this);
    after->setGeometry(10, 90, 390, 76);
    std::tie(cb_LossAfter, e_LossAfter, b_LossAfterTable, e_LossAfterTemp) =
        lossRow(after, "cb_LossAfter", "e_LossAfter", "b_LossAfterTable", "e_LossAfterTemp", l_LossAfterTable);
    l_LossAfterTable->setObjectName(QStringLiteral("l_LossAfterTable"));

    auto *dut = new QGroupBox(QStringLiteral("DUT"), this);
    dut->setGeometry(10, 172, 390, 80);
    Caption(dut, QStringLiteral("Type:"), 10, 22, 40);
    cb_DutType = Box(dut, "cb_DutType", DutTypeItems(), 50, 22, 120);
    Caption(dut, QStringLiteral("LO:"), 190, 22, 30);
    e_LO = Field(dut, "e_LO", 230, 22, 90);
    Caption(dut, QStringLiteral("Image rejection:"), 10, 50, 110);
    e_ImageRejection = Field(dut, "e_ImageRejection", 128, 50, 70);
    e_ImageRejection->setToolTip(QStringLiteral("dB, or S for single sideband (the image adds nothing)"));
    m_entry->bind(e_LO, EntryKind::Frequency);
    m_entry->bind(e_ImageRejection, EntryKind::Range, SsbKey);

    Caption(this, QStringLiteral("Calibration's noise source:"), 20, 262, 170);
    cb_CalSource = Box(this, "cb_CalSource", CalSourceItems(), 190, 262, 120);

    b_BenchDefaults = new QPushButton(QStringLiteral("Defaults"), this);
    b_BenchDefaults->setObjectName(QStringLiteral("b_BenchDefaults"));
    b_BenchDefaults->setGeometry(10, 298, 80, 25);
    b_BenchDefaults->setAutoDefault(false);
    b_BenchOk = new QPushButton(QStringLiteral("OK"), this);
    b_BenchOk->setObjectName(QStringLiteral("b_BenchOk"));
    b_BenchOk->setGeometry(230, 298, 80, 25);
    b_BenchOk->setDefault(true);
    b_BenchCancel = new QPushButton(QStringLiteral("Cancel"), this);
    b_BenchCancel->setObjectName(QStringLiteral("b_BenchCancel"));
    b_BenchCancel->setGeometry(320, 298, 80, 25);
    b_BenchCancel->setAutoDefault(false);
    setFixedSize(410, 334);

    showFields(BenchFieldsOf(bench, roomText));

    for (QComboBox *b : {cb_LossBefore, cb_LossAfter, cb_DutType})
        connect(b, &QComboBox::currentIndexChanged, this, [this] { enableFields(); });
    connect(b_LossBeforeTable, &QPushButton::clicked, this, [this] { b_LossTableClick(true); });
    connect(b_LossAfterTable, &QPushButton::clicked, this, [this] { b_LossTableClick(false); });
    connect(b_BenchOk, &QPushButton::clicked, this, &BenchDialog::b_BenchOkClick);
    connect(b_BenchCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(b_BenchDefaults, &QPushButton::clicked, this, [this] { showFields(BenchFieldsOf(BenchSetup(), m_roomText)); });
}

void BenchDialog::showFields(const BenchFields &f)
{
    cb_LossBefore->setCurrentIndex(f.before.mode);
    e_LossBefore->setText(f.before.dbText);
    e_LossBeforeTemp->setText(f.before.temperatureText);
    m_tableBefore = f.before;
    cb_LossAfter->setCurrentIndex(f.after.mode);
    e_LossAfter->setText(f.after.dbText);
    e_LossAfterTemp->setText(f.after.temperatureText);
    m_tableAfter = f.after;
    cb_DutType->setCurrentIndex(f.dutType);
    e_LO->setText(f.loText);
    e_ImageRejection->setText(f.imageRejectionText);
    cb_CalSource->setCurrentIndex(f.calSource);
    showTable(true);
    showTable(false);
    enableFields();
}

BenchFields BenchDialog::fields() const
{
    BenchFields f;
    f.before = {cb_LossBefore->currentIndex(), e_LossBefore->text(), e_LossBeforeTemp->text(), m_tableBefore.table,
                m_tableBefore.tableFile};
    f.after = {cb_LossAfter->currentIndex(), e_LossAfter->text(), e_LossAfterTemp->text(), m_tableAfter.table,
               m_tableAfter.tableFile};
    f.dutType = cb_DutType->currentIndex();
    f.loText = e_LO->text();
    f.imageRejectionText = e_ImageRejection->text();
    f.calSource = cb_CalSource->currentIndex();
    return f;
}

void BenchDialog::enableFields()
{
    const auto loss = [](QComboBox *box, QLineEdit *db, QLineEdit *temp) {
        db->setEnabled(box->currentIndex() == int(LossMode::Fixed));
        temp->setEnabled(box->currentIndex() != int(LossMode::Off));
    };
    loss(cb_LossBefore, e_LossBefore, e_LossBeforeTemp);
    loss(cb_LossAfter, e_LossAfter, e_LossAfterTemp);
    const bool converter = cb_DutType->currentIndex() != int(DutType::Amplifier);
    e_LO->setEnabled(converter);
    e_ImageRejection->setEnabled(converter);
}

void BenchDialog::showTable(bool before)
{
    const LossFields &t = before ? m_tableBefore : m_tableAfter;
    QLabel *l = before ? l_LossBeforeTable : l_LossAfterTable;
    l->setText(t.table.isEmpty() ? QStringLiteral("No table read")
                                 : QStringLiteral("Table %1, %2 points").arg(t.tableFile).arg(t.table.size()));
}

void BenchDialog::b_LossTableClick(bool before)
{
    const std::optional<QString> path = dialogs().openFile(TableFilter(), 1);
    if (!path)
        return;
    QList<LossPoint> points;
    try {
        points = ReadLossTableFile(*path, ReadTypedFrequencyHz);
    } catch (const AppError &e) {
        // The loss keeps the table and the choice it had.
        ShowMessage(MsgType::Error, MsgButtons::Ok, e.message());
        return;
    }
    LossFields &t = before ? m_tableBefore : m_tableAfter;
    t.table = points;
    t.tableFile = QFileInfo(*path).fileName();
    (before ? cb_LossBefore : cb_LossAfter)->setCurrentIndex(int(LossMode::Table));
    showTable(before);
}

void BenchDialog::b_BenchOkClick()
{
    QString error;
    BenchSetup taken;
    if (!ParseBenchFields(fields(), m_roomText, taken, &error)) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, error);
        return;
    }
    m_bench = taken;
    accept();
}
