#pragma once
// "Options / Limits ...": the limit lines in force. "Load ..." reads a limits file (one refused
// names the file and its line, and the limits in force stay); the table lists every point by
// kind; "Clear" takes all limits away. Each change is told at once (limitsChanged); "Close"
// ends the dialog.

#include "noise/limits.h"

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QTableWidget;

class TLimitsDialog : public QDialog
{
    Q_OBJECT
public:
    TLimitsDialog(const LimitSet &limits, const QString &file, QWidget *parent = nullptr);

    QLabel *l_LimitsFile = nullptr;    ///< the file the limits came from, "No limits" without
    QTableWidget *tw_Limits = nullptr;  ///< Kind, Frequency, Limit: one row a point
    QPushButton *b_LimitsLoad = nullptr;
    QPushButton *b_LimitsClear = nullptr;
    QPushButton *b_LimitsClose = nullptr;

    const LimitSet &limits() const { return m_limits; }
    const QString &file() const { return m_file; }

    void b_LimitsLoadClick();
    void b_LimitsClearClick();

signals:
    void limitsChanged(const LimitSet &limits, const QString &file);

private:
    void showLimits();

    LimitSet m_limits;
    QString m_file;
};

/// The file dialog's filter of limits files.
QString LimitsFilter();
