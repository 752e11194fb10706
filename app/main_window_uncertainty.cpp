// "Options > Uncertainty ...": the inputs of every step's uncertainty.
#include "app/main_window.h"

#include "app/uncertainty_dialog.h"

void TForm1::Unsicherheit1Click()
{
    UncertaintyDialog dialog(this);
    dialog.setInputs(Uncertainty);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Uncertainty = dialog.inputs();
    Graphic->RefreshConfidence();
}
