#include "app/main_window.h"

// Handlers of this subsystem: not built yet; each body is written with its subsystem.
void TForm1::rg_ENRClick() {}
void TForm1::vle_ENRKeyPress(QChar &) {}
void TForm1::vle_ENRExit() {}
void TForm1::PersistEnrTables(bool) {}
void TForm1::b_TableLoadClick() {}
void TForm1::b_TableSaveClick() {}
