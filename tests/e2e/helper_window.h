#pragma once
// The whole program in a temporary working folder, next to the bundled analyser simulator on a
// pseudo-terminal: the real main window (offscreen), its progress window, and a scripted dialog
// seam. Tests operate the buttons as an operator does.

#include "analyser/helper_link.h"
#include "app/main_window.h"
#include "common/designed_setup.h"
#include "common/dut_model.h"
#include "common/event_loop.h"
#include "common/scripted_dialogs.h"
#include "common/simulator_process.h"
#include "app/progress_form.h"
#include "serial/piloport.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <cmath>
#include <memory>

namespace e2e {

using link_test::WorkDir;

struct Program
{
    ScriptedDialogs dialogs;
    WorkDir dir;
    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TForm2> progress;

    /// Starts the simulator on ports/COM1 (unless `withSimulator` is false) and the program.
    explicit Program(const QStringList &simArgs = {}, bool withSimulator = true)
    {
        if (withSimulator) {
            sim = SimulatorProcess::onComPort(1, simArgs);
            sim->ready();
        }
        form = std::make_unique<TForm1>();
        progress = std::make_unique<TForm2>(form.get());
        form->attachSecondaryWindows(progress.get(), nullptr);
        form->show();
    }
    ~Program()
    {
        // The program's own end: disconnect, settings and tables written.
        form->close();
        progress.reset();
        form.reset();
    }

    TForm1 &w() { return *form; }

    bool connect(int port = 1)
    {
        form->cb_COM->setEditText(QString::number(port));
        QTest::mouseClick(form->b_connect, Qt::LeftButton);
        // The found analyser enables "Calibration" as it writes "Device: ..." into the status
        // bar, which a loaded calibration coming into force may overwrite at once.
        return ServeEventsUntil([&] { return form->b_Start->isEnabled() && !form->Link->passRunning()
                                             && form->b_connect->text() == QStringLiteral("Disconnect"); }, 10000);
    }

    bool passRunning() const { return form->Link->passRunning(); }

    /// Clicks "Calibration" and waits for the pass to end; true when it ran through.
    bool calibrate(int ms = 30000)
    {
        QTest::mouseClick(form->b_Start, Qt::LeftButton);
        return ServeEventsUntil([&] { return !passRunning(); }, ms) && form->b_Measure->isEnabled();
    }

    /// Clicks "Measure" and waits for the pass to end; true when it ran through.
    bool measure(int ms = 30000)
    {
        QTest::mouseClick(form->b_Measure, Qt::LeftButton);
        return ServeEventsUntil([&] { return !passRunning(); }, ms) && form->Speichern1->isEnabled();
    }

    QStringList messageTexts() const
    {
        QStringList out;
        for (const ShownMessage &m : dialogs.messages)
            out << m.text;
        return out;
    }
};


}  // namespace e2e

namespace e2e {

/// The set-up for the designed Options page (start 400 MHz).
inline const QList<QByteArray> &DesignedSetup()
{
    return DesignedSetupCommands();
}

inline const QByteArray RestoreCommand = "MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?";

}  // namespace e2e
