#include "app/uncertainty_dialog.h"

#include "app/core/dialogs.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

UncertaintyDialog::UncertaintyDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("UncertaintyDialog"));
    setWindowTitle(QStringLiteral("Uncertainty"));
    setModal(true);

    auto *intro = new QLabel(QStringLiteral("Limits of error (dB) and port matches (VSWR) of the set-up:"), this);
    intro->setObjectName(QStringLiteral("l_UncIntro"));
    // The sentence is wider than the dialog in most fonts: it wraps onto as many lines as it
    // needs, and the fields start below it.
    intro->setWordWrap(true);
    const int introWidth = 306;
    intro->setGeometry(12, 10, introWidth, intro->heightForWidth(introWidth));
    int y = intro->geometry().bottom() + 12;
    for (int i = 0; i < kUncertaintyFieldCount; ++i) {
        const UncertaintyField &f = UncertaintyFields()[size_t(i)];
        auto *caption = new QLabel(QString::fromLatin1(f.caption), this);
        caption->setGeometry(12, y + 2, 200, 17);
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(f.fieldName));
        e->setGeometry(220, y, 90, 21);
        caption->setBuddy(e);
        m_fields[size_t(i)] = e;
        // A gap between the limits of error and the port matches.
        y += i == 2 ? 38 : 28;
    }
    e_UncEnr = m_fields[0];
    e_UncNf = m_fields[1];
    e_UncGain = m_fields[2];
    e_VswrSource = m_fields[3];
    e_VswrDutIn = m_fields[4];
    e_VswrDutOut = m_fields[5];
    e_VswrAnalyser = m_fields[6];

    b_UncDefaults = new QPushButton(QStringLiteral("Defaults"), this);
    b_UncDefaults->setObjectName(QStringLiteral("b_UncDefaults"));
    b_UncDefaults->setGeometry(12, y + 8, 80, 25);
    b_UncDefaults->setAutoDefault(false);
    b_UncOk = new QPushButton(QStringLiteral("OK"), this);
    b_UncOk->setObjectName(QStringLiteral("b_UncOk"));
    b_UncOk->setGeometry(140, y + 8, 80, 25);
    b_UncOk->setDefault(true);
    b_UncCancel = new QPushButton(QStringLiteral("Cancel"), this);
    b_UncCancel->setObjectName(QStringLiteral("b_UncCancel"));
    b_UncCancel->setGeometry(230, y + 8, 80, 25);
    b_UncCancel->setAutoDefault(false);
    setFixedSize(330, y + 44);

    connect(b_UncOk, &QPushButton::clicked, this, &UncertaintyDialog::b_UncOkClick);
    connect(b_UncCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(b_UncDefaults, &QPushButton::clicked, this, [this] {
        const UncertaintyTexts texts = UncertaintyFieldTexts(UncertaintyInputs());
        for (int i = 0; i < kUncertaintyFieldCount; ++i)
            m_fields[size_t(i)]->setText(texts[size_t(i)]);
    });
}

void UncertaintyDialog::setInputs(const UncertaintyInputs &inputs)
{
    m_inputs = inputs;
    const UncertaintyTexts texts = UncertaintyFieldTexts(inputs);
    for (int i = 0; i < kUncertaintyFieldCount; ++i)
        m_fields[size_t(i)]->setText(texts[size_t(i)]);
}

void UncertaintyDialog::b_UncOkClick()
{
    UncertaintyTexts texts;
    for (int i = 0; i < kUncertaintyFieldCount; ++i)
        texts[size_t(i)] = m_fields[size_t(i)]->text();
    QString error;
    if (!ParseUncertaintyTexts(texts, m_inputs, &error)) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, error);
        return;
    }
    accept();
}
