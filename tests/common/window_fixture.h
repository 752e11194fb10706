#pragma once
// A window of its own for each test case: a fresh working folder (so that config.ini and
// default.tbl are the case's own), scripted dialogs, and the window shown as at start-up.

#include "app/main_window.h"
#include "common/operate_dialog.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"

#include <QTest>

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
