#include "app/main_window.h"

// Handlers of this subsystem: not built yet; each body is written with its subsystem.
void TForm1::MakeSweepPlan() {}
void TForm1::rg_SweepClick() {}
void TForm1::cb_RefLvlAutoClick() {}
void TForm1::b_StartClick() {}
void TForm1::b_MeasureClick() {}
void TForm1::Timer1Timer() {}
