// The program's entry: the units' start-up, the main window, the message
// loop, and the units' release at exit.
#include "ProgramVersion.h"
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Unit1.h"
#include "kxCommon/kxHtmlHelp.h"
#include "kxCommon/kxODBC.h"
#include "kxCommon/kxODBCUtils.h"
#include "kxCommon/kxPageMetrics.h"
#include "kxCommon/kxXP.h"
#include "platform/ImageThreads.h"
#include "platform/MessageBoxes.h"
#include "platform/PeModule.h"
#include "platform/TemporaryFiles.h"

#include <QDir>
#include <QStringDecoder>

#include <cstdlib>
#include <new>
#include <optional>

namespace {

// The first parameter whose bytes are not UTF-8: every name goes to the file
// system as UTF-8, so such a name would open or write a different file.
std::optional<QString> nameNotUtf8(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8(QByteArrayView(argv[i]));
        if (utf8.hasError())
            return text;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    // The program's parameters are its own: read them before the toolkit
    // could take "-style" or "-platform" out of them.
    QStringList params;
    for (int i = 1; i < argc; ++i)
        params << QString::fromLocal8Bit(argv[i]);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};

    // Without a display the program runs on the offscreen platform, where
    // message boxes go to standard error and only an export makes sense.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    TApplication app(qtArgc, qtArgv);
    // Threads that could not be made (under a memory limit) end the run:
    // without them a signal would leave temporary files, and no large icon
    // could be shown or saved.
    try {
        platform::removeTemporaryFilesOnSignals();
    } catch (const std::exception& e) {
        TApplication::ShowException(e);
        return 1;
    }
    if (!platform::startImageThread()) {
        // The pool would wait at exit for the thread it could not make.
        TApplication::ShowException(std::bad_alloc());
        std::_Exit(1);
    }
    const bool headless = !platform::hasDisplay();
    if (const auto bad = nameNotUtf8(argc, argv)) {
        platform::messageBoxes().show(
            {QStringLiteral("Pictorium"),
             QStringLiteral(
                 "The parameter \"%1\" is not UTF-8 text; Pictorium takes file names in UTF-8 only.")
                 .arg(*bad),
             platform::MsgType::Error, platform::mbOK, platform::mrOk});
        return 1;
    }
    if (headless && !TCommandLine::Parse(params).Export) {
        platform::messageBoxes().show(
            {QStringLiteral("Pictorium"),
             QStringLiteral("The window needs a display (DISPLAY or WAYLAND_DISPLAY), and there is none.\n"
                            "Without a display, -e exports the icons of a file: "
                            "pictorium -e SOURCE DESTINATION [switches]"),
             platform::MsgType::Error, platform::mbOK, platform::mrOk});
        return 1;
    }
    TApplication::setApplicationName(QStringLiteral("Pictorium"));
    TApplication::setOrganizationName(QStringLiteral("Quellmark"));
    TApplication::setApplicationVersion(QStringLiteral(PICTORIUM_VERSION_TEXT));
    const QString programFile = TApplication::applicationFilePath();
    platform::PeModule::setProgramResourceImage(
        QDir(TApplication::applicationDirPath()).filePath("pictorium.rsrc"));

    // The units start in their order and stop in reverse; one that fails
    // ends the program before a window exists.
    struct Unit {
        void (*initialize)();
        void (*finalize)();
    };
    const Unit units[] = {
        {kxXP::Initialize, kxXP::Finalize},
        {kxODBC::Initialize, kxODBC::Finalize},
        {kxODBCUtils::Initialize, kxODBCUtils::Finalize},
        // Without a window nothing prints: the printer query, which loads
        // the print system, waits for its first use.
        {headless ? kxPageMetrics::InitializeDeferred : kxPageMetrics::Initialize, kxPageMetrics::Finalize},
        {kxHtmlHelp::Initialize, kxHtmlHelp::Finalize},
    };
    int started = 0;
    auto finalizeUnits = [&] {
        while (started > 0)
            units[--started].finalize();
    };
    try {
        for (const Unit& unit : units) {
            unit.initialize();
            ++started;
        }
    } catch (const std::exception& e) {
        finalizeUnits();
        TApplication::ShowException(e);
        return 1;
    }

    int status = 0;
    // What escapes outside the message loop (a refused allocation while the
    // settings are read) ends the run as an error, after its message.
    try {
        TForm1 form(params, programFile);
        // Nobody could use a window without a screen: the program ends once
        // its command line is handled.
        if (headless) {
            form.NoticesUnseen = true;
            form.OnCommandLineHandled = [] { TApplication::exit(0); };
            // Shown for its layout and placement, which the exports and the
            // settings read; never painted, as nobody can see it.
            form.setUpdatesEnabled(false);
        }
        form.FormCreate();
        form.show();
        status = TApplication::exec();
        if (form.CommandLineStatus() != 0) {
            status = 1;
            // The boxes that told of the failure are gone with the window;
            // whoever started the export reads it where a run without a
            // display writes it.
            if (!headless)
                for (const platform::MessageRequest& failure : form.CommandLineFailures())
                    platform::printToStandardError(failure);
        }
        finalizeUnits();
    } catch (const std::exception& e) {
        finalizeUnits();
        TApplication::ShowException(e);
        status = 1;
    }
    platform::setMessageBoxes(nullptr);
    return status;
}
