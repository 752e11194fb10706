#include "app/main_window.h"

// Handlers of this subsystem: not built yet; each body is written with its subsystem.
void TForm1::Edit1Exit(QLineEdit *) {}
void TForm1::cb_Stage1Click(QCheckBox *) {}
void TForm1::DrawCascade() {}
void TForm1::gfx2MouseDown() {}
