// The main window: start-up and shut-down, the settings file, the wiring of the handlers and
// the small handlers of the shell.
#include "app/main_window.h"

#include "app/core/config.h"
#include "app/core/limits_config.h"
#include "app/guarded.h"
#include "base/engvalue.h"
#include "base/errors.h"
#include "base/version.h"
#include "noise/yfactor.h"
#include "app/widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <limits>

TForm1::TForm1(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    buildControls();
    buildPages();
    connectHandlers();
    wirePages();
    bindEntryFields();
    guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::attachSecondaryWindows(TForm2 *progress, TInputMaskeFrm *report)
{
    Form2 = progress;
    InputMaskeFrm = report;
    Controller->setProgressWindow(progress);
}

void TForm1::connectHandlers()
{
    auto on = [this](auto *sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    // The menus answer nothing while the window is disabled, whatever reaches their commands
    // (a click, a shortcut, a menu opened before the search began).
    auto menu = [this](QAction *action, void (TForm1::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] {
            if (MainWindowEnabled())
                guarded([this, handler] { (this->*handler)(); });
        });
    };
    on(Button1, &QPushButton::clicked, &TForm1::Beenden1Click);
    menu(Beenden1, &TForm1::Beenden1Click);
    menu(About1, &TForm1::About1Click);
    menu(Laden1, &TForm1::Laden1Click);
    menu(Speichern1, &TForm1::Speichern1Click);
    menu(dd_print, &TForm1::dd_printClick);
    on(ComboBox1, &QComboBox::currentIndexChanged, &TForm1::ComboBox1Change);
    on(cb_LanProtocol, &QComboBox::currentIndexChanged, &TForm1::ComboBox1Change);
    on(cb_GpibAdapter, &QComboBox::currentIndexChanged, &TForm1::ComboBox1Change);
    on(cb_Device, &QComboBox::currentIndexChanged, &TForm1::cb_DeviceChange);
    on(b_calc, &QPushButton::clicked, &TForm1::b_calcClick);
    on(rg_ENR, &RadioGroup::clicked, &TForm1::rg_ENRClick);
    on(b_TableLoad, &QPushButton::clicked, &TForm1::b_TableLoadClick);
    on(b_TableSave, &QPushButton::clicked, &TForm1::b_TableSaveClick);
    on(b_connect, &QPushButton::clicked, &TForm1::b_connectClick);
    on(rg_Sweep, &RadioGroup::clicked, &TForm1::rg_SweepClick);
    on(cb_RefLvlAuto, &QCheckBox::clicked, &TForm1::cb_RefLvlAutoClick);
    on(b_Start, &QPushButton::clicked, &TForm1::b_StartClick);
    on(b_Measure, &QPushButton::clicked, &TForm1::b_MeasureClick);
    on(b_Measure2, &QPushButton::clicked, &TForm1::b_MeasureClick);
    on(cb_ShowF, &QCheckBox::clicked, &TForm1::cb_ShowFClick);
    on(cb_ShowG, &QCheckBox::clicked, &TForm1::cb_ShowFClick);
    on(se_Freq, &QSpinBox::valueChanged, &TForm1::se_FreqChange);
    on(cb_ErrorBars, &QCheckBox::clicked, &TForm1::cb_ErrorBarsClick);
    menu(Unsicherheit1, &TForm1::Unsicherheit1Click);
    on(gfx2, &ImageView::mouseDown, &TForm1::gfx2MouseDown);
    // A page that becomes visible runs its show handler, then the page control its change handler.
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        guarded([this, index] {
            if (index == 0)
                TabSheet1Show();
            else if (index == 1)
                TabSheet2Show();
            else if (index == 2)
                TabSheet3Show();
            PageControl1Change();
        });
    });
    for (QCheckBox *box : cb_Stage)
        connect(box, &QCheckBox::clicked, this, [this, box] { guarded([this, box] { cb_Stage1Click(box); }); });
}

void TForm1::guarded(const std::function<void()> &action)
{
    Guarded(action);
}

// ---- The status bar ----------------------------------------------------------------------

QString TForm1::statusText() const
{
    return m_statusLabel->text();
}

void TForm1::setStatusText(const QString &text)
{
    m_statusLabel->setText(text);
}

void TForm1::SetMainWindowEnabled(bool enabled)
{
    // The progress window is a child window of this one: disabling the window itself would
    // disable "Cancel" too, so the window's contents and menu are disabled instead.
    centralWidget()->setEnabled(enabled);
    menuBar()->setEnabled(enabled);
}

bool TForm1::MainWindowEnabled() const
{
    return centralWidget()->isEnabled() && menuBar()->isEnabled();
}

// ---- The context of every evaluation --------------------------------------------------------

EvaluationContext TForm1::evaluationContext() const
{
    EvaluationContext c;
    c.enr = m_enr;
    c.roomTemperatureK = ParseValue(e_Temperature->text());
    c.uncertainty = Uncertainty;
    // The bench around the DUT; at its defaults it corrects nothing.
    c.bench = Bench;
    c.calibrationEnr = calibrationEnrSource();
    try {
        c.refLevelDbm = ToDb(ParseValue(e_RefLvl->text()));
    } catch (...) {
        // A reference level that does not read leaves the headroom unchecked.
        c.refLevelDbm = std::numeric_limits<double>::infinity();
    }
    return c;
}

// ---- Start-up and shut-down -----------------------------------------------------------------

void TForm1::FormCreate()
{
    PageControl1->setCurrentIndex(0);
    // The example levels of the calculator, set on every start.
    e_n2off->setText(QStringLiteral("-75.55"));
    e_n2on->setText(QStringLiteral("-70.25"));
    e_n12off->setText(QStringLiteral("-54.25"));
    e_n12on->setText(QStringLiteral("-49.06"));
    setWindowTitle(QStringLiteral("Tessary ") + VersionText());
    NoiseSource->InitEnrTableNames();
    Graphic->GraphGeometry = ::GraphGeometry::fromImageSize(gfx->canvas().width(), gfx->canvas().height());
    Options->MakeSweepPlan();
    Options->ListPorts();
    readSettings();
    rg_ENR->setItemIndex(0);
    NoiseSource->PersistEnrTables(true);
    readBenchSettings();
    rg_ENRClick();
    setStatusText(QStringLiteral("FSP disconnected..."));
    readLimitsSettings();
    Link->idle();
    Graphic->DrawGraphFrame();
    rg_SweepClick();
    TabSheet1Show();
    // The cascade stages start from their initial values, every box ticked; the first
    // computation and drawing happen when the page is shown.
    Calculator->Cascade = CascadeState();
    FillImage(gfx2->canvas(), Qt::white);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // While a search or a pass runs the window takes no input, and closing is input too:
    // "Cancel" ends a pass, the search ends by itself.
    if (!MainWindowEnabled() && !m_closed) {
        event->ignore();
        return;
    }
    if (!m_closed) {
        m_closed = true;
        guarded([this] { FormClose(); });
    }
    event->accept();
}

void TForm1::FormClose()
{
    // Whatever could not be saved is told once, after everything has been tried.
    m_collectSaveErrors = true;
    Options->DisconnectAtClose();
    writeSettings();
    NoiseSource->PersistEnrTables(false);
    m_collectSaveErrors = false;
    if (!m_saveErrors.isEmpty())
        ShowMessage(MsgType::Error, MsgButtons::Ok, m_saveErrors.join(QStringLiteral("\n\n")));
    m_saveErrors.clear();
}

void TForm1::reportSaveError(const QString &text)
{
    if (m_collectSaveErrors)
        m_saveErrors << text;
    else
        ShowMessage(MsgType::Error, MsgButtons::Ok, text);
}

void TForm1::readSettings()
{
    const std::optional<ConfigValues> cfg = ReadConfig();
    configExisted = cfg.has_value();
    if (!cfg) {
        // Without a settings file the designed selections stay and the window is centred.
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect avail = screen->availableGeometry();
            move(avail.center() - QPoint(width() / 2, height() / 2));
        }
        return;
    }
    cb_COM->setEditText(QString::number(cfg->Port));
    SetItemIndex(cb_Baud, cfg->Baudrate);
    SetItemIndex(cb_Bits, cfg->Bits);
    SetItemIndex(cb_Handshake, cfg->HandShake);
    SetItemIndex(cb_Parity, cfg->Parity);
    SetItemIndex(cb_StopBits, cfg->StopBits);
    move(OnScreenPosition(QPoint(cfg->Left, cfg->Top), size()));
    const LanConfig lan = ReadLanConfig();
    e_Host->setText(lan.Host);
    e_TcpPort->setText(QString::number(lan.TcpPort));
    cb_LanProtocol->setCurrentIndex(lan.Vxi11 ? 1 : 0);
    e_LanDevice->setText(lan.LanDevice);
    const GpibConfig gpib = ReadGpibConfig();
    cb_GpibAdapter->setCurrentIndex(gpib.OnLan ? 1 : 0);
    se_GpibAddress->setValue(gpib.Address);
    e_GpibPort->setText(QString::number(gpib.TcpPort));
    if (gpib.OnLan && lan.Host.isEmpty())
        e_Host->setText(gpib.Host);
    ComboBox1->setCurrentIndex(gpib.Selected ? 2 : lan.Interface);
    Uncertainty = ReadUncertaintyConfig();
}

void TForm1::writeSettings()
{
    ConfigValues v;
    v.Port = LeadingInteger(cb_COM->currentText());
    v.Baudrate = ItemIndex(cb_Baud);
    v.Bits = ItemIndex(cb_Bits);
    v.HandShake = ItemIndex(cb_Handshake);
    v.Parity = ItemIndex(cb_Parity);
    v.StopBits = ItemIndex(cb_StopBits);
    v.Top = pos().y();
    v.Left = pos().x();
    LanConfig lan;
    lan.Interface = ComboBox1->currentIndex() == 1 ? 1 : 0;
    lan.Host = e_Host->text().trimmed();
    const int port = e_TcpPort->text().toInt();
    lan.TcpPort = port >= 1 && port <= 65535 ? port : LanConfig().TcpPort;
    lan.Vxi11 = cb_LanProtocol->currentIndex() == 1;
    lan.LanDevice = e_LanDevice->text().trimmed().isEmpty() ? LanConfig().LanDevice : e_LanDevice->text().trimmed();
    GpibConfig gpib;
    gpib.Selected = ComboBox1->currentIndex() == 2;
    gpib.OnLan = cb_GpibAdapter->currentIndex() == 1;
    gpib.Address = se_GpibAddress->value();
    if (gpib.OnLan)
        gpib.Host = e_Host->text().trimmed();
    const int adapterPort = e_GpibPort->text().toInt();
    gpib.TcpPort = adapterPort >= 1 && adapterPort <= 65535 ? adapterPort : GpibConfig().TcpPort;
    QString error;
    if (!WriteConfig(v, &error) || !WriteLanConfig(lan, &error) || !WriteGpibConfig(gpib, &error)
        || !WriteUncertaintyConfig(Uncertainty, &error) || !writeBenchSettings(&error)
        || !WriteLimitsConfig(Graphic->LimitsFile, &error))
        reportSaveError(error);
}

QPoint OnScreenPosition(QPoint topLeft, QSize size)
{
    // A window whose title bar would lie on no screen (a monitor removed since the last run,
    // or a hand-edited file) is brought back onto the primary screen.
    const QRect titleBar(topLeft, QSize(size.width(), 30));
    for (const QScreen *screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersected(titleBar).width() >= 50 &&
            screen->availableGeometry().contains(QPoint(topLeft.x() + size.width() / 2, topLeft.y()))
            )
            return topLeft;
    }
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (!primary)
        return topLeft;
    const QRect avail = primary->availableGeometry();
    return QPoint(qBound(avail.left(), topLeft.x(), qMax(avail.left(), avail.right() - size.width())),
                  qBound(avail.top(), topLeft.y(), qMax(avail.top(), avail.bottom() - size.height())));
}

void TForm1::Beenden1Click()
{
    close();
}

void TForm1::About1Click()
{
    About1->setEnabled(false);
    ShowMessage(MsgType::Information, MsgButtons::Ok,
                QStringLiteral("Tessary %1\nNoise figure and gain by the Y-factor method\n"
                               "Tessary Instruments")
                    .arg(VersionText()));
    About1->setEnabled(true);
}

void TForm1::TabSheet1Show()
{
    gb_TempFreq->setParent(TabSheet1);
    gb_TempFreq->move(440, 248);
    l_Frequency->setVisible(false);
    e_Frequency->setVisible(false);
    gb_TempFreq->show();
}

void TForm1::TabSheet3Show()
{
    gb_TempFreq->setParent(TabSheet3);
    gb_TempFreq->move(512, 312);
    l_Frequency->setVisible(true);
    e_Frequency->setVisible(true);
    gb_TempFreq->show();
    b_calc->setFocus();
    Calculator->DrawCascade();
}

void TForm1::ComboBox1Change()
{
    // "Ethernet" trades the line settings for the analyser's address; "GPIB" keeps them for an
    // adapter on the serial line, or takes an address for one on the LAN.
    const int port = ComboBox1->currentIndex();
    const bool lan = port == 1;
    const bool gpib = port == 2;
    const bool gpibLan = gpib && cb_GpibAdapter->currentIndex() == 1;
    const bool vxi11 = lan && cb_LanProtocol->currentIndex() == 1;
    for (QWidget *line : {cb_COM, cb_Baud, cb_Bits, cb_Handshake, cb_Parity, cb_StopBits})
        line->setEnabled(!lan && !gpibLan);
    for (QWidget *address : std::initializer_list<QWidget *>{l_Host, e_Host})
        address->setVisible(lan || gpibLan);
    for (QWidget *socket : std::initializer_list<QWidget *>{l_TcpPort, e_TcpPort})
        socket->setVisible(lan && !vxi11);
    for (QWidget *protocol : std::initializer_list<QWidget *>{l_LanProtocol, cb_LanProtocol})
        protocol->setVisible(lan);
    for (QWidget *device : std::initializer_list<QWidget *>{l_LanDevice, e_LanDevice})
        device->setVisible(vxi11);
    for (QWidget *adapter : std::initializer_list<QWidget *>{l_GpibAdapter, cb_GpibAdapter, l_GpibAddress, se_GpibAddress})
        adapter->setVisible(gpib);
    for (QWidget *adapterPort : std::initializer_list<QWidget *>{l_GpibPort, e_GpibPort})
        adapterPort->setVisible(gpibLan);
}

void TForm1::cb_DeviceChange()
{
    if (cb_Device->currentIndex() != 0)
        cb_Device->setCurrentIndex(0);
}
