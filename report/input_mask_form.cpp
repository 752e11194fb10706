#include "report/input_mask_form.h"

TInputMaskeFrm::TInputMaskeFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("InputMaskeFrm"));
    setWindowTitle(QStringLiteral("Print"));
}
