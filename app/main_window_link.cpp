#include "app/main_window.h"

// Handlers of this subsystem: not built yet; each body is written with its subsystem.
void TForm1::PiloDataAvailable(TPiloComPort *) {}
void TForm1::e_commandKeyPress(QChar &) {}
void TForm1::b_connectClick() {}
bool TForm1::InitialiseAnalyser() { return false; }
