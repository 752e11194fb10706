#include "app/main_window.h"

#include "app/widgets.h"
#include "noise/calculator.h"
#include "noise/enr_lookup.h"

#include <QTableWidget>

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

double TForm1::LookupEnr(double frequencyHz) const
{
    EnrRows rows;
    for (int r = 0; r < int(rows.size()); ++r) {
        const QTableWidgetItem *f = vle_ENR->item(r, 0);
        const QTableWidgetItem *e = vle_ENR->item(r, 1);
        rows[r].FrequencyText = f ? f->text() : QString();
        rows[r].EnrText = e ? e->text() : QString();
    }
    return ::LookupEnr(frequencyHz, rg_ENR->ItemIndex(), e_ENRall->text(), rows);
}
