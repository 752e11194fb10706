#include "app/main_window.h"

// Handlers of this subsystem: not built yet; each body is written with its subsystem.
void TForm1::TabSheet2Show() {}
void TForm1::PageControl1Change() {}
void TForm1::cb_ShowFClick() {}
void TForm1::se_FreqChange() {}
void TForm1::ShowStep() {}
void TForm1::DrawGraphFrame() {}
void TForm1::RecomputeResults(int) {}
void TForm1::Speichern1Click() {}
void TForm1::Laden1Click() {}
