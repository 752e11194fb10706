#include "app/application.h"

#include "app/core/dialogs.h"
#include "base/errors.h"

TessaryApplication::TessaryApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(AppTitle());
}

bool TessaryApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const AppError &e) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, e.message());
    } catch (const std::exception &e) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, QString::fromLocal8Bit(e.what()));
    }
    return false;
}
