// The layout of the main window: its pages, controls, menu and the wiring of the handlers.
#include "app/main_window.h"

#include "app/core/config.h"
#include "run/calibration_state.h"
#include "base/engvalue.h"
#include "base/errors.h"
#include "base/version.h"
#include "app/layout_helpers.h"
#include "app/widgets.h"
#include "run/designed_options.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIntValidator>
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

namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 554;

}  // namespace

using namespace layout;

// ---- Building the window ---------------------------------------------------------------

void TForm1::buildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    setFont(SansFont(8));
    // A single fixed border with system menu and minimise button only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    PageControl1 = named(new QTabWidget(client), "PageControl1");
    PageControl1->setGeometry(0, 0, kClientWidth, 478);
    // A click on a tab takes the focus, so that the field being edited is left before the
    // page changes; otherwise the page control hands the focus back to the field that last
    // had it on the new page, which would enter (and empty) it.
    PageControl1->tabBar()->setFocusPolicy(Qt::StrongFocus);
    TabSheet1 = named(new QWidget, "TabSheet1");
    TabSheet2 = named(new QWidget, "TabSheet2");
    TabSheet3 = named(new QWidget, "TabSheet3");
    TabSheet4 = named(new QWidget, "TabSheet4");
    PageControl1->addTab(TabSheet1, QStringLiteral("Options"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Graphic"));
    PageControl1->addTab(TabSheet3, QStringLiteral("F - Calculator"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Noise Source"));
    setTag(TabSheet3, 3);

    QFont resultFont(QStringLiteral("Liberation Sans"));
    resultFont.setStyleHint(QFont::SansSerif);
    resultFont.setBold(true);
    resultFont.setPixelSize(21);
    QPalette green;
    green.setColor(QPalette::WindowText, QColor(0, 128, 0));
    l_gain = named(new QLabel(QStringLiteral("Gain [dB]: - "), client), "l_gain");
    l_gain->setGeometry(8, 484, 360, 26);
    l_NoiseFigure = named(new QLabel(QStringLiteral("F: -"), client), "l_NoiseFigure");
    l_NoiseFigure->setGeometry(380, 484, 300, 26);
    for (QLabel *l : {l_gain, l_NoiseFigure}) {
        l->setFont(resultFont);
        l->setPalette(green);
    }
    Button1 = button(client, "Button1", QStringLiteral("Close"), 696, 486, 88, 25);

    StatusBar1 = named(new QStatusBar(client), "StatusBar1");
    StatusBar1->setGeometry(0, kClientHeight - 20, kClientWidth, 20);
    StatusBar1->setSizeGripEnabled(false);
    // The status bar takes the focus when an entry ends, so that the field's exit rule runs
    // and no other field is entered.
    StatusBar1->setFocusPolicy(Qt::ClickFocus);
    m_statusLabel = named(new QLabel(StatusBar1), "StatusText");
    StatusBar1->addWidget(m_statusLabel, 1);

    buildPage1();
    buildPage2();
    buildPage3();
    buildPage4();
    buildTempFreq();
    buildMenu();
    buildConfidence();
    buildBench();
    buildLimits();
    buildReferences();

    adjustSize();
    setFixedSize(sizeHint());
}

void TForm1::buildPage1()
{
    QWidget *p = TabSheet1;
    gb_fsp = named(new QGroupBox(QStringLiteral("Analyser"), p), "gb_fsp");
    gb_fsp->setGeometry(8, 8, 420, 424);
    QWidget *g = gb_fsp;

    // Upper panel: device, port, bandwidths, attenuation, range, level, averaging, sweep time.
    label(g, QStringLiteral("Typ:"), 12, 26);
    cb_Device = combo(g, "cb_Device", {QStringLiteral("FSP"), QStringLiteral("(FSL)"), QStringLiteral("(FSU)")}, 0, 92, 24, 90, false);
    cb_Device->setToolTip(QStringLiteral("actually only FSP..."));
    label(g, QStringLiteral("Port:"), 212, 26, 60);
    ComboBox1 = combo(g, "ComboBox1", {QStringLiteral("COM"), QStringLiteral("Ethernet"), QStringLiteral("GPIB")}, 0, 292, 24, 110, false);
    ComboBox1->setToolTip(QStringLiteral("actually only COM..."));

    label(g, QStringLiteral("RBW:"), 12, 62);
    cb_rbw = combo(g, "cb_rbw", RbwItems(), DesignedOptions::rbwIndex, 92, 60);
    label(g, QStringLiteral("VBW:"), 212, 62, 60);
    cb_vbw = combo(g, "cb_vbw", VbwItems(), DesignedOptions::vbwIndex, 292, 60);
    label(g, QStringLiteral("RF Att:"), 12, 92);
    cb_RFAtt = combo(g, "cb_RFAtt", RfAttItems(), DesignedOptions::rfAttIndex, 92, 90);
    label(g, QStringLiteral("Range:"), 212, 92, 60);
    e_Range = edit(g, "e_Range", QStringLiteral("100 dB"), 292, 90);
    label(g, QStringLiteral("Ref Lvl:"), 12, 122);
    e_RefLvl = edit(g, "e_RefLvl", QStringLiteral("0 dBm"), 92, 120);
    cb_RefLvlAuto = named(new QCheckBox(QStringLiteral("RF Lvl auto"), g), "cb_RefLvlAuto");
    cb_RefLvlAuto->setGeometry(212, 122, 120, 19);
    label(g, QStringLiteral("Average:"), 12, 152);
    cb_Average = combo(g, "cb_Average", AverageItems(), DesignedOptions::averageIndex, 92, 150);
    label(g, QStringLiteral("Sweep:"), 212, 152, 60);
    e_Sweep = edit(g, "e_Sweep", QStringLiteral(" - ms"), 292, 150);
    e_Sweep->setEnabled(false);

    // Lower panel: mode, start, stop, single frequency and steps.
    rg_Sweep = named(new RadioGroup(QStringLiteral("Mode"), {QStringLiteral("Sweep"), QStringLiteral("Single")}, 2, g), "rg_Sweep");
    rg_Sweep->setGeometry(12, 196, 190, 48);
    rg_Sweep->setItemIndex(0);
    label(g, QStringLiteral("Start:"), 12, 262);
    e_Start = edit(g, "e_Start", QStringLiteral("400 MHz"), 92, 260);
    e_Start->setEnabled(false);
    label(g, QStringLiteral("Stop:"), 212, 262, 60);
    e_Stop = edit(g, "e_Stop", QStringLiteral("500 MHz"), 292, 260);
    e_Stop->setEnabled(false);
    label(g, QStringLiteral("Single:"), 12, 296);
    e_Single = edit(g, "e_Single", QStringLiteral("100 MHz"), 92, 294);
    label(g, QStringLiteral("Steps:"), 212, 296, 60);
    se_steps = named(new QSpinBox(g), "se_steps");
    se_steps->setRange(1, 99);
    se_steps->setValue(10);
    se_steps->setGeometry(292, 294, 90, 21);

    gb_com = named(new QGroupBox(QStringLiteral("COM Port"), p), "gb_com");
    gb_com->setGeometry(440, 8, 330, 232);
    QWidget *c = gb_com;
    // Eight rows of 26 pixels: the six line settings, then the analyser's address on the
    // LAN (shown instead when "Ethernet" is chosen), each label left of its field, all inside
    // the group's frame.
    const auto rowY = [](int row) { return 22 + 26 * row; };
    label(c, QStringLiteral("COM-Port:"), 12, rowY(0) + 2);
    cb_COM = combo(c, "cb_COM", {}, -1, 112, rowY(0), 110);
    cb_COM->setEditText(QStringLiteral("keiner"));
    label(c, QStringLiteral("Baudrate:"), 12, rowY(1) + 2);
    cb_Baud = combo(c, "cb_Baud", BaudItems(), DesignedOptions::baudIndex, 112, rowY(1), 110);
    label(c, QStringLiteral("Bits:"), 12, rowY(2) + 2);
    cb_Bits = combo(c, "cb_Bits", BitsItems(), DesignedOptions::bitsIndex, 112, rowY(2), 110);
    label(c, QStringLiteral("Handshake:"), 12, rowY(3) + 2);
    cb_Handshake = combo(c, "cb_Handshake", {QStringLiteral("keine"), QStringLiteral("DTR/RTS"), QStringLiteral("Software")}, 1, 112, rowY(3), 110);
    label(c, QStringLiteral("Parity:"), 12, rowY(4) + 2);
    cb_Parity = combo(c, "cb_Parity", {QStringLiteral("keine"), QStringLiteral("ungerade"), QStringLiteral("gerade")}, 0, 112, rowY(4), 110);
    label(c, QStringLiteral("Stopbits:"), 12, rowY(5) + 2);
    cb_StopBits = combo(c, "cb_StopBits", {QStringLiteral("1"), QStringLiteral("2")}, 0, 112, rowY(5), 110);
    l_Host = named(label(c, QStringLiteral("Host:"), 12, rowY(6) + 2), "l_Host");
    e_Host = edit(c, "e_Host", QString(), 112, rowY(6), 200);
    e_Host->setToolTip(QStringLiteral("Host name or IP address of the analyser"));
    l_TcpPort = named(label(c, QStringLiteral("TCP port:"), 12, rowY(7) + 2), "l_TcpPort");
    e_TcpPort = edit(c, "e_TcpPort", QStringLiteral("5025"), 112, rowY(7), 86);
    e_TcpPort->setValidator(new QIntValidator(1, 65535, e_TcpPort));
    e_TcpPort->setToolTip(QStringLiteral("The analyser's SCPI socket, usually 5025"));
    // VXI-11 instead of the raw socket: the device name takes the TCP port's place.
    l_LanProtocol = named(label(c, QStringLiteral("Protocol:"), 232, 122, 90), "l_LanProtocol");
    cb_LanProtocol = combo(c, "cb_LanProtocol", {QStringLiteral("Socket"), QStringLiteral("VXI-11")}, 0, 232, 144, 86, false);
    l_LanDevice = named(label(c, QStringLiteral("Device:"), 232, 186, 90), "l_LanDevice");
    e_LanDevice = edit(c, "e_LanDevice", QStringLiteral("inst0"), 232, 208, 86);
    e_LanDevice->setToolTip(QStringLiteral("The analyser's VXI-11 device name, usually inst0"));
    // GPIB through a "++" adapter on the serial line above, or on the LAN at Host: and its port.
    l_GpibAdapter = named(label(c, QStringLiteral("Adapter:"), 232, 4, 90), "l_GpibAdapter");
    cb_GpibAdapter = combo(c, "cb_GpibAdapter", {QStringLiteral("Serial"), QStringLiteral("LAN")}, 0, 232, 24, 86, false);
    l_GpibAddress = named(label(c, QStringLiteral("Address:"), 232, 58, 90), "l_GpibAddress");
    se_GpibAddress = named(new QSpinBox(c), "se_GpibAddress");
    se_GpibAddress->setRange(0, 30);
    se_GpibAddress->setValue(20);
    se_GpibAddress->setGeometry(232, 80, 86, 21);
    se_GpibAddress->setToolTip(QStringLiteral("The analyser's GPIB address"));
    l_GpibPort = named(label(c, QStringLiteral("TCP port:"), 232, 186, 90), "l_GpibPort");
    e_GpibPort = edit(c, "e_GpibPort", QStringLiteral("1234"), 232, 208, 86);
    e_GpibPort->setValidator(new QIntValidator(1, 65535, e_GpibPort));
    e_GpibPort->setToolTip(QStringLiteral("The GPIB adapter's TCP port, usually 1234"));
    for (QWidget *lan : std::initializer_list<QWidget *>{l_Host, e_Host, l_TcpPort, e_TcpPort, l_LanProtocol,
                                                          cb_LanProtocol, l_LanDevice, e_LanDevice, l_GpibAdapter,
                                                          cb_GpibAdapter, l_GpibAddress, se_GpibAddress,
                                                          l_GpibPort, e_GpibPort})
        lan->setVisible(false);

    b_connect = button(p, "b_connect", QStringLiteral("Connect"), 440, 404, 104);
    b_Start = button(p, "b_Start", QStringLiteral("Calibration"), 553, 404, 104);
    b_Start->setEnabled(false);
    b_Measure = button(p, "b_Measure", QStringLiteral("Measure"), 666, 404, 104);
    b_Measure->setEnabled(false);
}

void TForm1::buildPage2()
{
    QWidget *p = TabSheet2;
    gfx = named(new ImageView(769, 421, p), "gfx");
    gfx->move(4, 0);
    Label37 = named(label(p, QStringLiteral("Step"), 8, 428, 30), "Label37");
    se_Freq = named(new QSpinBox(p), "se_Freq");
    se_Freq->setRange(0, 1);
    se_Freq->setValue(0);
    se_Freq->setGeometry(42, 426, 60, 21);
    Label25 = named(label(p, QStringLiteral("Frequency: -"), 116, 428, 200), "Label25");
    cb_ShowF = named(new QCheckBox(QStringLiteral("Noise Figure"), p), "cb_ShowF");
    cb_ShowF->setGeometry(330, 428, 110, 19);
    cb_ShowF->setChecked(true);
    cb_ShowF->setVisible(false);
    cb_ShowG = named(new QCheckBox(QStringLiteral("Gain"), p), "cb_ShowG");
    cb_ShowG->setGeometry(450, 428, 80, 19);
    cb_ShowG->setChecked(true);
    cb_ShowG->setVisible(false);
    b_Measure2 = button(p, "b_Measure2", QStringLiteral("Measure"), 672, 424, 100);
    b_Measure2->setEnabled(false);
}

void TForm1::buildPage3()
{
    QWidget *p = TabSheet3;
    GroupBox3 = named(new QGroupBox(p), "GroupBox3");
    GroupBox3->setGeometry(8, 2, 760, 134);
    gfx2 = named(new ImageView(744, 118, GroupBox3), "gfx2");
    gfx2->move(8, 10);

    QFont bold = font();
    bold.setBold(true);
    for (int s = 1; s <= 5; ++s) {
        auto *box = new QCheckBox(QStringLiteral("Stage %1").arg(s), p);
        box->setObjectName(QStringLiteral("cb_Stage%1").arg(s));
        box->setGeometry(120 * s, 140, 100, 19);
        box->setChecked(true);
        box->setFont(bold);
        setTag(box, s);
        cb_Stage[s - 1] = box;
    }
    const QStringList captions = {QStringLiteral("Noise factor:"), QStringLiteral("Noise figure [dB]:"),
                                  QStringLiteral("Gain [dB]:"), QStringLiteral("IP3out [dBm]:")};
    const QStringList designed = {QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1")};
    for (int row = 1; row <= 4; ++row) {
        const int y = 140 + 24 * row;
        auto *l = new QLabel(captions[row - 1], p);
        l->setObjectName(QStringLiteral("Label%1").arg(32 + row));
        l->setGeometry(8, y + 2, 110, 17);
        l->setFont(bold);
        RowLabels[row - 1] = l;
        for (int s = 1; s <= 5; ++s) {
            const int k = 4 * (s - 1) + row;
            auto *e = new QLineEdit(designed[row - 1], p);
            e->setObjectName(QStringLiteral("Edit%1").arg(k));
            e->setGeometry(120 * s, y, 100, 21);
            setTag(e, 16 * s + row);
            Edit[k - 1] = e;
        }
        auto *total = new QLineEdit(p);
        total->setObjectName(QStringLiteral("Edit%1").arg(20 + row));
        total->setGeometry(712, y, 70, 21);
        total->setReadOnly(true);
        Edit[20 + row - 1] = total;
    }
    // Enter and Tab go down each stage's column, then on to the next stage. The totals are
    // only read: they take no part in the chain.
    for (int k = 1; k < 20; ++k)
        setTabOrder(Edit[k - 1], Edit[k]);
    for (int k = 21; k <= 24; ++k)
        Edit[k - 1]->setFocusPolicy(Qt::ClickFocus);
    // The totals carry the tags 0, 0, 2 and 3.
    setTag(Edit[20], 0);
    setTag(Edit[21], 0);
    setTag(Edit[22], 2);
    setTag(Edit[23], 3);
    Label43 = named(label(p, QStringLiteral("Total"), 712, 142, 60), "Label43");
    Label43->setFont(bold);

    GroupBox1 = named(new QGroupBox(QStringLiteral("Calibration Values (without DUT)"), p), "GroupBox1");
    GroupBox1->setGeometry(8, 268, 240, 112);
    label(GroupBox1, QStringLiteral("Noise Source:"), 10, 22, 100);
    label(GroupBox1, QStringLiteral("off"), 10, 50, 30);
    e_n2off = edit(GroupBox1, "e_n2off", QStringLiteral("0"), 44, 48, 120);
    label(GroupBox1, QStringLiteral("[dBm]"), 170, 50, 40);
    label(GroupBox1, QStringLiteral("on"), 10, 80, 30);
    e_n2on = edit(GroupBox1, "e_n2on", QStringLiteral("0"), 44, 78, 120);
    label(GroupBox1, QStringLiteral("[dBm]"), 170, 80, 40);

    GroupBox2 = named(new QGroupBox(QStringLiteral("Measured Values (with DUT)"), p), "GroupBox2");
    GroupBox2->setGeometry(256, 268, 240, 112);
    label(GroupBox2, QStringLiteral("off"), 10, 50, 30);
    e_n12off = edit(GroupBox2, "e_n12off", QStringLiteral("0"), 44, 48, 120);
    label(GroupBox2, QStringLiteral("[dBm]"), 170, 50, 40);
    label(GroupBox2, QStringLiteral("on"), 10, 80, 30);
    e_n12on = edit(GroupBox2, "e_n12on", QStringLiteral("0"), 44, 78, 120);
    label(GroupBox2, QStringLiteral("[dBm]"), 170, 80, 40);

    b_calc = button(p, "b_calc", QStringLiteral("Calculate!"), 8, 396, 120, 30);
}

void TForm1::buildPage4()
{
    QWidget *p = TabSheet4;
    vle_ENR = named(new QTableWidget(20, 2, p), "vle_ENR");
    vle_ENR->setGeometry(8, 8, 300, 420);
    vle_ENR->setHorizontalHeaderLabels({QStringLiteral("Frequency [GHz]:"), QStringLiteral("ENR [dB]:")});
    vle_ENR->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    vle_ENR->verticalHeader()->setVisible(false);
    // All twenty rows in view at once, as on the designed page.
    vle_ENR->verticalHeader()->setDefaultSectionSize(19);
    vle_ENR->setEnabled(false);

    rg_ENR = named(new RadioGroup(QStringLiteral("Noise Source"),
                                  {QStringLiteral("ENR all"), QStringLiteral("ENR table 1"), QStringLiteral("ENR table 2")},
                                  1, p),
                   "rg_ENR");
    rg_ENR->setGeometry(328, 8, 200, 96);
    rg_ENR->setItemIndex(0);
    e_ENRall = edit(p, "e_ENRall", QStringLiteral("5.52 dB"), 540, 24, 90);
    b_TableLoad = button(p, "b_TableLoad", QStringLiteral("Load Table"), 328, 120, 96);
    b_TableLoad->setEnabled(false);
    b_TableSave = button(p, "b_TableSave", QStringLiteral("Save Table"), 432, 120, 96);
    b_TableSave->setEnabled(false);

    e_command = edit(p, "e_command", QStringLiteral("Kommando von Hand..."), 328, 400, 200);
    e_command->setVisible(false);
    Memo1 = named(new QPlainTextEdit(p), "Memo1");
    Memo1->setGeometry(540, 300, 230, 120);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVisible(false);
}

void TForm1::buildTempFreq()
{
    gb_TempFreq = named(new QGroupBox(TabSheet1), "gb_TempFreq");
    gb_TempFreq->setGeometry(440, 248, 260, 126);
    QWidget *g = gb_TempFreq;
    Label21 = named(label(g, QStringLiteral("Room Temperature:"), 10, 14, 120), "Label21");
    e_Temperature = edit(g, "e_Temperature", QStringLiteral("21 °C"), 140, 12, 100);
    Label22 = named(label(g, QStringLiteral("Noise Source:"), 10, 46, 120), "Label22");
    l_NoiseSource = named(label(g, QStringLiteral("const."), 140, 46, 110), "l_NoiseSource");
    l_Frequency = named(label(g, QStringLiteral("Frequency:"), 10, 80, 120), "l_Frequency");
    e_Frequency = edit(g, "e_Frequency", QStringLiteral("100 MHz"), 140, 78, 100);
}

void TForm1::buildMenu()
{
    Datei1 = menuBar()->addMenu(QStringLiteral("File"));
    Datei1->setObjectName(QStringLiteral("Datei1"));
    Laden1 = named(Datei1->addAction(QStringLiteral("Load")), "Laden1");
    Speichern1 = named(Datei1->addAction(QStringLiteral("Save as ...")), "Speichern1");
    Speichern1->setEnabled(false);
    dd_print = named(Datei1->addAction(QStringLiteral("Print")), "dd_print");
    dd_print->setEnabled(false);

    // Results out: offered whenever a measurement is shown, that is while "Save as ..." (a
    // finished measurement pass) or "Print" (a loaded file) is enabled.
    ExportCSV1 = named(Datei1->addAction(QStringLiteral("Export CSV ...")), "ExportCSV1");
    GrafikSpeichern1 = named(Datei1->addAction(QStringLiteral("Save graph as ...")), "GrafikSpeichern1");
    for (auto [action, handler] : {std::pair{ExportCSV1, &TForm1::ExportCSV1Click},
                                   std::pair{GrafikSpeichern1, &TForm1::GrafikSpeichern1Click}}) {
        action->setEnabled(false);
        connect(action, &QAction::triggered, this, [this, handler] {
            if (MainWindowEnabled())
                guarded([this, handler] { (this->*handler)(); });
        });
    }
    const auto followShown = [this] {
        const bool shown = Speichern1->isEnabled() || dd_print->isEnabled();
        ExportCSV1->setEnabled(shown);
        GrafikSpeichern1->setEnabled(shown);
    };
    connect(Speichern1, &QAction::changed, this, followShown);
    connect(dd_print, &QAction::changed, this, followShown);

    Datei1->addSeparator();
    Beenden1 = named(Datei1->addAction(QStringLiteral("Exit")), "Beenden1");
    Info1 = menuBar()->addMenu(QStringLiteral("Info"));
    Info1->setObjectName(QStringLiteral("Info1"));
    About1 = named(Info1->addAction(QStringLiteral("About...")), "About1");
}
