#include "app/widget_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

QStringList ToQtFilters(const QString &filter)
{
    // The classic form alternates description and pattern; the description already names
    // the pattern, so it alone is what the toolkit needs.
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    // "*.*" would show only names with a dot here; all files is "*".
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << QString(parts[i]).replace(QStringLiteral("(*.*)"), QStringLiteral("(*)"));
    return out;
}

QString KeepCommandOnOneLine(const QString &text)
{
    // "FSP does not answer: MMEM:LOAD:STAT 1,'D:\USER\DATA\KORVEL';*OPC?": the box may wrap
    // its text at blanks, but the command reads right only on one line.
    static const QString marker = QStringLiteral(" does not answer: ");
    const qsizetype at = text.indexOf(marker);
    if (at < 0)
        return text;
    const qsizetype command = at + marker.size();
    return text.left(command) + QString(text.mid(command)).replace(u' ', QChar(0x00A0));
}

MsgResult WidgetDialogs::message(MsgType type, MsgButtons buttons, const QString &text, bool defaultNo)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(AppTitle());
    box.setText(KeepCommandOnOneLine(text));
    switch (type) {
    case MsgType::Information: box.setIcon(QMessageBox::Information); break;
    case MsgType::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgType::Error: box.setIcon(QMessageBox::Critical); break;
    case MsgType::Confirmation: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return MsgResult::Ok;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    default: return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Cancel;
    }
}

namespace {
std::optional<QString> runFileDialog(QFileDialog::AcceptMode mode, const QString &filter, int filterIndex,
                                     const QString &proposedPath = QString())
{
    QFileDialog dlg(QApplication::activeWindow());
    dlg.setAcceptMode(mode);
    dlg.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // The program asks its own overwrite question.
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    const QStringList filters = ToQtFilters(filter);
    dlg.setNameFilters(filters);
    if (filterIndex >= 1 && filterIndex <= filters.size())
        dlg.selectNameFilter(filters[filterIndex - 1]);
    if (!proposedPath.isEmpty())
        dlg.selectFile(proposedPath);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles().first();
}
}  // namespace

std::optional<QString> WidgetDialogs::openFile(const QString &filter, int filterIndex)
{
    return runFileDialog(QFileDialog::AcceptOpen, filter, filterIndex);
}

std::optional<QString> WidgetDialogs::saveFile(const QString &filter, int filterIndex)
{
    return runFileDialog(QFileDialog::AcceptSave, filter, filterIndex);
}

std::optional<QString> WidgetDialogs::saveFileNamed(const QString &filter, int filterIndex,
                                                    const QString &proposedPath)
{
    return runFileDialog(QFileDialog::AcceptSave, filter, filterIndex, proposedPath);
}

bool WidgetDialogs::choosePrinter(QPrinter &printer)
{
    QPrintDialog dlg(&printer, QApplication::activeWindow());
    return dlg.exec() == QDialog::Accepted;
}
