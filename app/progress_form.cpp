#include "app/progress_form.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {
constexpr int kAnimationMs = 200;
}

TForm2::TForm2(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("measuring in progress..."));
    setFixedSize(264, 114);

    l_info = new QLabel(this);
    l_info->setObjectName(QStringLiteral("l_info"));
    QFont small = l_info->font();
    small.setPointSize(7);
    l_info->setFont(small);
    l_info->setGeometry(8, 4, 248, 14);

    Label1 = new QLabel(QStringLiteral("Step: -"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold(QStringLiteral("Liberation Sans"));
    bold.setStyleHint(QFont::SansSerif);
    bold.setBold(true);
    bold.setPixelSize(16);
    Label1->setFont(bold);
    Label1->setGeometry(8, 20, 248, 22);

    Gauge1 = new QProgressBar(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setGeometry(8, 48, 248, 18);
    Gauge1->setRange(0, 100);
    Gauge1->setValue(0);
    QPalette navy = Gauge1->palette();
    navy.setColor(QPalette::Highlight, QColor(0, 0, 128));
    Gauge1->setPalette(navy);
    updateGauge();

    Button1 = new QPushButton(QStringLiteral("Cancel"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(94, 78, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kAnimationMs);
    connect(Timer1, &QTimer::timeout, this, &TForm2::Timer1Timer);
    Timer1->start();
}

const std::array<QString, 8> &TForm2::Marks()
{
    // Phases 6 and 7 wrap the mark around the right edge, so it seems to run out on the right
    // and come back in on the left.
    static const std::array<QString, 8> marks = {
        QStringLiteral(" <->     "), QStringLiteral("  <->    "), QStringLiteral("   <->   "),
        QStringLiteral("    <->  "), QStringLiteral("     <-> "), QStringLiteral("      <->"),
        QStringLiteral(" >     <-"), QStringLiteral(" ->     <"),
    };
    return marks;
}

void TForm2::Timer1Timer()
{
    const int phase = int(unsigned(AnimationPhase) % 8u);
    Label1->setText(QStringLiteral("Step ") + QString::number(ProgressStep) + Marks()[std::size_t(phase)]);
    // 2^31 is a multiple of 8, so starting again at 0 keeps the order of the marks.
    AnimationPhase = AnimationPhase == std::numeric_limits<qint32>::max() ? 0 : AnimationPhase + 1;
}

void TForm2::Button1Click()
{
    if (OnCancel)
        OnCancel();
    close();
}

void TForm2::closeEvent(QCloseEvent *event)
{
    // Closing by the title-bar box enables the main window too, but does not stop the pass.
    if (OnClose)
        OnClose();
    event->accept();
}

void TForm2::SetGaugeRange(int minimum, int maximum)
{
    m_gaugeMin = minimum;
    m_gaugeMax = maximum;
    updateGauge();
}

void TForm2::SetGaugePosition(int position)
{
    m_gaugePosition = position;
    updateGauge();
}

int TForm2::GaugePercent() const
{
    const qint64 range = qint64(m_gaugeMax) - m_gaugeMin;
    if (range <= 0)
        return 0;
    const qint64 done = std::clamp<qint64>(qint64(m_gaugePosition) - m_gaugeMin, 0, range);
    return int(done * 100 / range);
}

void TForm2::updateGauge()
{
    // The bar shows the percentage: a toolkit bar with an empty range would show a busy
    // indicator instead of 0 %.
    Gauge1->setValue(GaugePercent());
}

void TForm2::CentreOnDesktop()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(width() / 2, height() / 2));
    }
}
