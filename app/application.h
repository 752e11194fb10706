#pragma once
// The application object: its top-level handler shows an error that no handler caught in an
// error message box and ends only the operator's action, never the program.

#include <QApplication>

class TessaryApplication : public QApplication
{
public:
    TessaryApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
