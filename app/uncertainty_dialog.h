#pragma once
// "Options > Uncertainty ...": the limits of error of the noise source and the analyser and the
// port matches that the uncertainty of each step's noise figure is built from. OK takes the
// seven fields when all of them hold a value within bounds; otherwise the first wrong one is
// named and the dialog stays open.

#include "app/core/uncertainty_settings.h"

#include <QDialog>
#include <array>

class QLineEdit;
class QPushButton;

class UncertaintyDialog : public QDialog
{
    Q_OBJECT
public:
    explicit UncertaintyDialog(QWidget *parent = nullptr);

    QLineEdit *e_UncEnr = nullptr;
    QLineEdit *e_UncNf = nullptr;
    QLineEdit *e_UncGain = nullptr;
    QLineEdit *e_VswrSource = nullptr;
    QLineEdit *e_VswrDutIn = nullptr;
    QLineEdit *e_VswrDutOut = nullptr;
    QLineEdit *e_VswrAnalyser = nullptr;
    QPushButton *b_UncOk = nullptr;
    QPushButton *b_UncCancel = nullptr;
    /// "Defaults": the fields show the defaults again (nothing is taken before OK).
    QPushButton *b_UncDefaults = nullptr;

    void setInputs(const UncertaintyInputs &inputs);
    /// The inputs as OK took them.
    const UncertaintyInputs &inputs() const { return m_inputs; }

    void b_UncOkClick();

private:
    std::array<QLineEdit *, kUncertaintyFieldCount> m_fields{};
    UncertaintyInputs m_inputs;
};
