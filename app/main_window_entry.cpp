#include "app/main_window.h"

// Handlers of this subsystem: not built yet; each body is written with its subsystem.
void TForm1::e_StartEnter(QLineEdit *) {}
bool TForm1::e_StartKeyDown(QLineEdit *, int) { return false; }
void TForm1::e_StartKeyPress(QLineEdit *, QChar &) {}
void TForm1::e_TemperatureKeyPress(QLineEdit *, QChar &) {}
void TForm1::e_RangeKeyPress(QLineEdit *, QChar &) {}
void TForm1::e_RefLvlKeyPress(QLineEdit *, QChar &) {}
void TForm1::Edit1KeyPress(QLineEdit *, QChar &) {}
void TForm1::e_StartExit(QLineEdit *) {}
void TForm1::cb_COMExit(QComboBox *) {}
bool TForm1::eventFilter(QObject *watched, QEvent *event) { return QMainWindow::eventFilter(watched, event); }
void TForm1::bindEntryFields() {}
