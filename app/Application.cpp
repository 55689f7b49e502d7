#include "app/Application.h"

#include "platform/Exceptions.h"
#include "platform/MessageBoxes.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <new>

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
    // Without a screen nothing needs the desktop's event loop library, which
    // ends the process when an allocation of its own fails: the toolkit's
    // own loop serves instead.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if ((platform == "offscreen" || platform == "minimal") && qEnvironmentVariableIsEmpty("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
        FOwnLoopAsked = true;
    }
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
    // Programs started later get the environment the program was given.
    if (FOwnLoopAsked) {
        qunsetenv("QT_NO_GLIB");
        FOwnLoopAsked = false;
    }
    if (FRuntimeFolder.isEmpty())
        return;
    qunsetenv("XDG_RUNTIME_DIR");
    QDir(QFile::decodeName(FRuntimeFolder)).removeRecursively();
    FRuntimeFolder.clear();
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) { Finish(); }

void TApplication::ShowException(const std::exception& e) noexcept
{
    try {
        platform::messageBoxes().show({QStringLiteral("Pictorium"), platform::messageOf(e),
                                       platform::MsgType::Error, platform::mbOK, platform::mrOk});
    } catch (const std::exception&) {
        // No memory left even for the box: the message goes out as it is.
        const char* text = dynamic_cast<const std::bad_alloc*>(&e) ? platform::kOutOfMemoryText : e.what();
        std::fprintf(stderr, "Pictorium: %s\n", text);
    }
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
