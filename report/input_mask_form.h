#pragma once
// The report details form, completed by the operator before a report is printed.

#include <QDialog>

class TInputMaskeFrm : public QDialog
{
    Q_OBJECT
public:
    explicit TInputMaskeFrm(QWidget *parent = nullptr);
};
