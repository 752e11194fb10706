#include "app/main_window.h"

// Handlers of this subsystem: not built yet; each body is written with its subsystem.
void TForm1::dd_printClick() {}
