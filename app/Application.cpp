#include "app/Application.h"

#include "platform/Exceptions.h"
#include "platform/MessageBoxes.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void TApplication::ShowException(const std::exception& e)
{
    platform::messageBoxes().show({QStringLiteral("Pictorium"), QString::fromUtf8(e.what()),
                                   platform::MsgType::Error, platform::mbOK, platform::mrOk});
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const platform::Abort&) {
    } catch (const std::exception& e) {
        ShowException(e);
    }
    return false;
}
