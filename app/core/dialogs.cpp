#include "app/core/dialogs.h"

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
