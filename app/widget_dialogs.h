#pragma once
// The dialog seam as the operator sees it: Qt message boxes, file dialogs and the print dialog.

#include "app/core/dialogs.h"

class WidgetDialogs : public Dialogs
{
public:
    MsgResult message(MsgType type, MsgButtons buttons, const QString &text, bool defaultNo) override;
    std::optional<QString> openFile(const QString &filter, int filterIndex) override;
    std::optional<QString> saveFile(const QString &filter, int filterIndex) override;
    std::optional<QString> saveFileNamed(const QString &filter, int filterIndex, const QString &proposedPath) override;
    bool choosePrinter(QPrinter &printer) override;
};

/// "Tables (*.tab)|*.tab|..." to the toolkit's "Tables (*.tab);;..." form.
QStringList ToQtFilters(const QString &filter);

/// A message as the box shows it: the command after "... does not answer: " with its blanks
/// made unbreakable, so that the box never wraps it.
QString KeepCommandOnOneLine(const QString &text);
