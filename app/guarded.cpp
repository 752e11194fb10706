#include "app/guarded.h"

#include "app/core/dialogs.h"
#include "base/errors.h"

#include <QString>

#include <exception>

void Guarded(const std::function<void()> &action)
{
    try {
        action();
    } catch (const AppError &e) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, e.message());
    } catch (const std::exception &e) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, QString::fromLocal8Bit(e.what()));
    }
}
