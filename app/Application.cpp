#include "app/Application.h"

#include "platform/Exceptions.h"
#include "platform/MessageBoxes.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

namespace {

// Standard error carries only the program's messages: the toolkit's own
// (warnings of its plugins and image readers) are dropped unless
// PICTORIUM_DEBUG or QT_LOGGING_RULES asks for them. Fatal ones still show.
void filterToolkitMessages()
{
    const QByteArray debug = qgetenv("PICTORIUM_DEBUG");
    if ((!debug.isEmpty() && debug != "0") || !qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        return;
    static const QtMessageHandler standard = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type == QtFatalMsg)
            standard(type, context, message);
    });
}

}  // namespace

ToolkitStartUp::ToolkitStartUp()
{
    filterToolkitMessages();
    // The toolkit's start-up looks for a sandbox's marker file in the
    // user's runtime folder. Without a session (cron, env -i) there is
    // none, and the toolkit would make /tmp/runtime-USER and warn. A
    // private empty folder answers the question for the start-up alone.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        QByteArray folder = QFile::encodeName(QDir::tempPath()) + "/pictorium-XXXXXX";
        if (mkdtemp(folder.data())) {
            FRuntimeFolder = folder;
            qputenv("XDG_RUNTIME_DIR", FRuntimeFolder);
        }
    }
}

ToolkitStartUp::~ToolkitStartUp() { Finish(); }

void ToolkitStartUp::Finish()
{
    if (FRuntimeFolder.isEmpty())
        return;
    // Programs started later get the environment the program was given.
    qunsetenv("XDG_RUNTIME_DIR");
    QDir(QFile::decodeName(FRuntimeFolder)).removeRecursively();
    FRuntimeFolder.clear();
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) { Finish(); }

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
