#include "app/core/dialogs.h"

#include <QFileInfo>

#include <QtGlobal>

namespace {
Dialogs *g_dialogs = nullptr;
}

Dialogs &dialogs()
{
    Q_ASSERT_X(g_dialogs, "dialogs()", "no dialog seam installed");
    return *g_dialogs;
}

Dialogs *setDialogs(Dialogs *d)
{
    Dialogs *old = g_dialogs;
    g_dialogs = d;
    return old;
}

bool MayReplaceFile(const QString &path)
{
    return !QFileInfo::exists(path)
           || ShowMessage(MsgType::Confirmation, MsgButtons::YesNo,
                          QStringLiteral("File exists !") + QStringLiteral("\n\r") + QStringLiteral("Overwrite?"),
                          /*defaultNo*/ true)
                  == MsgResult::Yes;
}
