#pragma once
// An operator working in the modal dialog that a menu command opens.

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <functional>

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
