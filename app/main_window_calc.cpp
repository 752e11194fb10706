#include "app/main_window.h"

#include "noise/calculator.h"


#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

void TForm1::b_calcClick()
{
    CalculatePoint();
}

void TForm1::CalculatePoint()
{
    const CalculatorFields fields{e_n2off->text(),   e_n2on->text(),     e_n12off->text(),
                                  e_n12on->text(),   e_Frequency->text(), e_Temperature->text()};
    m_lastCalculationFailed = false;
    const CalculationResult r = CalculatePointFromFields(
        fields, [this](double f) { return LookupEnr(f); }, MeasurementRecord, se_Freq->value(),
        [this](const QString &text) { setStatusText(text); });
    if (r.failed) {
        // Whichever button the operator presses, nothing more happens.
        m_lastCalculationFailed = true;
        ShowMessage(MsgType::Error, MsgButtons::OkCancel, CalculationErrorText());
        return;
    }
    l_gain->setText(r.gainText);
    l_NoiseFigure->setText(r.noiseFigureText);
}

