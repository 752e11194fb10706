#include "app/input_mask_form.h"

#include "app/core/dialogs.h"
#include "results/canvas.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr int kClientWidth = 439;
constexpr int kClientHeight = 412;
/// Height of the caption above a labelled entry field and its gap to the field.
constexpr int kCaptionHeight = 16;
constexpr int kCaptionGap = 3;

QFont dialogFont(int pixels, bool bold)
{
    QFont f = SansFont();
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

}  // namespace

TInputMaskeFrm::TInputMaskeFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("InputMaskeFrm"));
    setWindowTitle(QStringLiteral("Print"));
    // A fixed single border with the system menu and the minimise button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(dialogFont(11, false));
    setModal(true);

    Label1 = new QLabel(QStringLiteral("Project: "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 8, 67, 20);
    Label1->setFont(dialogFont(16, true));
    l_Project = new QLabel(this);
    l_Project->setObjectName(QStringLiteral("l_Project"));
    l_Project->setGeometry(80, 8, 4, 20);
    l_Project->setFont(dialogFont(16, false));

    auto labelled = [this](const char *name, const QString &caption, int x, int y) {
        auto *field = new QLineEdit(this);
        field->setObjectName(QString::fromLatin1(name));
        field->setGeometry(x, y, 121, 24);
        field->setFont(dialogFont(13, false));
        auto *label = new QLabel(caption, this);
        label->setObjectName(field->objectName() + QStringLiteral("Label"));
        label->setFont(dialogFont(13, true));
        // The caption is as wide as its text, which may reach past the field below it.
        label->setGeometry(x, y - kCaptionHeight - kCaptionGap, label->sizeHint().width(), kCaptionHeight);
        label->setBuddy(field);
        return field;
    };
    le_Engineer = labelled("le_Engineer", QStringLiteral("Test Engineer:"), 8, 56);
    le_DUT = labelled("le_DUT", QStringLiteral("DUT:"), 141, 56);
    le_Date = labelled("le_Date", QStringLiteral("Date/Time:"), 280, 56);
    le_FreqStart = labelled("le_FreqStart", QStringLiteral("Start Frequency:"), 8, 104);
    le_NoiseSource = labelled("le_NoiseSource", QStringLiteral("NoiseSource:"), 144, 104);
    le_Temperature = labelled("le_Temperature", QStringLiteral("Room Temperature:"), 280, 104);
    le_FreqStop = labelled("le_FreqStop", QStringLiteral("Stop Frequency:"), 8, 152);
    le_FreqSteps = labelled("le_FreqSteps", QStringLiteral("Frequency steps:"), 144, 152);
    // In the free place of the third row; the printed report does not show it.
    le_Serial = labelled("le_Serial", QStringLiteral("Serial No.:"), 280, 152);

    Memo1 = new QPlainTextEdit(QStringLiteral("Remarks..."), this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(8, 184, 417, 177);
    // Tab moves on to the buttons, as in every other field of the form.
    Memo1->setTabChangesFocus(true);

    b_Finish = new QPushButton(QStringLiteral("Ok"), this);
    b_Finish->setObjectName(QStringLiteral("b_Finish"));
    b_Finish->setGeometry(232, 368, 89, 33);
    b_Cancel = new QPushButton(QStringLiteral("cancel"), this);
    b_Cancel->setObjectName(QStringLiteral("b_Cancel"));
    b_Cancel->setGeometry(336, 368, 89, 33);
    // Neither button is the default: Return in a field does not leave the form.
    for (QPushButton *b : {b_Finish, b_Cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    const QList<QWidget *> tabOrder = {le_Engineer, le_DUT,       le_Date,  le_FreqStart,
                                       le_NoiseSource, le_Temperature, le_FreqStop, le_FreqSteps, le_Serial,
                                       Memo1,       b_Finish,     b_Cancel};
    for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);

    connect(b_Finish, &QPushButton::clicked, this, &TInputMaskeFrm::b_FinishClick);
    connect(b_Cancel, &QPushButton::clicked, this, &TInputMaskeFrm::b_CancelClick);
}

QLabel *TInputMaskeFrm::labelOf(QLineEdit *field)
{
    if (!field || !field->parentWidget())
        return nullptr;
    return field->parentWidget()->findChild<QLabel *>(field->objectName() + QStringLiteral("Label"),
                                                      Qt::FindDirectChildrenOnly);
}

QStringList TInputMaskeFrm::remarkLines() const
{
    QString text = Memo1->toPlainText();
    if (text.isEmpty())
        return {};
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.split(QLatin1Char('\n'));
}

void TInputMaskeFrm::setRemarkLines(const QStringList &lines)
{
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
}

ReportTexts TInputMaskeFrm::reportTexts() const
{
    ReportTexts t;
    t.Engineer = le_Engineer->text();
    t.DUT = le_DUT->text();
    t.Date = le_Date->text();
    t.FreqStart = le_FreqStart->text();
    t.NoiseSource = le_NoiseSource->text();
    t.Temperature = le_Temperature->text();
    t.FreqStop = le_FreqStop->text();
    t.FreqSteps = le_FreqSteps->text();
    return t;
}

bool TInputMaskeFrm::ConfirmRemarksLeftOff(int notPrinted)
{
    if (notPrinted <= 0)
        return true;
    const QString lines = notPrinted == 1 ? QStringLiteral("1 remark line does")
                                          : QStringLiteral("%1 remark lines do").arg(notPrinted);
    return ShowMessage(MsgType::Warning, MsgButtons::OkCancel,
                       lines + QStringLiteral(" not fit on the page and will not be printed; the "
                                              "report notes how many are missing.\nPrint anyway?")) ==
           MsgResult::Ok;
}

void TInputMaskeFrm::showEvent(QShowEvent *event)
{
    // Placed in the middle of the desktop each time it appears.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormShow();
    QDialog::showEvent(event);
}

void TInputMaskeFrm::FormShow()
{
    Cancelled = 1;
}

void TInputMaskeFrm::b_FinishClick()
{
    Cancelled = 0;
    accept();
}

void TInputMaskeFrm::b_CancelClick()
{
    Cancelled = 1;
    reject();
}
