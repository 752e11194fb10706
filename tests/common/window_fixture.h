#pragma once
// A window of its own for each test case: a fresh working folder (so that config.ini and
// default.tbl are the case's own), scripted dialogs, and the window shown as at start-up; and
// an operator working in the modal dialog a menu command opens.

#include "app/main_window.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

class WindowFixture
{
protected:
    std::unique_ptr<WorkingFolder> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm1> m_form;

    /// A new working folder and dialog script, for init(); the window is not started yet.
    void prepare()
    {
        m_dir = std::make_unique<WorkingFolder>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
    }
    /// For cleanup(): the window closes before its folder goes.
    void tearDown()
    {
        m_form.reset();
        m_dialogs.reset();
        m_dir.reset();
    }
    void start()
    {
        m_form = std::make_unique<TForm1>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }
    /// Closes the window and starts it again, as the operator does, in the same folder.
    void restart()
    {
        m_form->close();
        m_form.reset();
        start();
    }
};

/// Triggers `command` and, while the modal dialog of type D that it opens is shown, runs
/// `operatorActions` on it with the keyboard in the dialog; the actions are to leave it. A
/// dialog left open is rejected after ten seconds. True when the dialog came up and the
/// actions left it.
template <class D>
bool OperateDialog(QAction *command, const std::function<void(D &)> &operatorActions)
{
    bool shown = false;
    QTimer::singleShot(0, command, [&] {
        auto *d = qobject_cast<D *>(QApplication::activeModalWidget());
        if (!d)
            return;
        shown = true;
        QApplication::setActiveWindow(d);
        if (QTest::qWaitForWindowActive(d))
            operatorActions(*d);
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, command, [] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            d->reject();
    });
    guard.start(10000);
    command->trigger();
    return shown && guard.isActive();
}
