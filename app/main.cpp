// The program's entry: the units' start-up, the main window, the message
// loop, and the units' release at exit.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Unit1.h"
#include "kxCommon/kxODBC.h"
#include "kxCommon/kxODBCUtils.h"
#include "kxCommon/kxPageMetrics.h"
#include "kxCommon/kxXP.h"
#include "platform/MessageBoxes.h"
#include "platform/PeModule.h"
#include "ProgramVersion.h"

#include <QDir>

namespace {

// Counts the error messages, for the exit status of a run without a display.
class CountingMessageBoxes : public platform::MessageBoxes {
public:
    platform::ModalResult show(const platform::MessageRequest& request) override
    {
        if (request.type == platform::MsgType::Error)
            ++m_errors;
        return m_boxes.show(request);
    }
    int errors() const { return m_errors; }

private:
    platform::DesktopMessageBoxes m_boxes;
    int m_errors = 0;
};

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
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    TApplication app(qtArgc, qtArgv);
    auto boxes = std::make_shared<CountingMessageBoxes>();
    platform::setMessageBoxes(boxes);
    const bool headless = !platform::hasDisplay();
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
    platform::PeModule::setProgramResourceImage(QDir(TApplication::applicationDirPath()).filePath("pictorium.rsrc"));

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
    {
        TForm1 form(params, programFile);
        // Nobody could use a window without a screen: the program ends once
        // its command line is handled.
        if (headless) {
            form.OnCommandLineHandled = [] { TApplication::exit(0); };
            // Shown for its layout and placement, which the exports and the
            // settings read; never painted, as nobody can see it.
            form.setUpdatesEnabled(false);
        }
        form.FormCreate();
        form.show();
        status = TApplication::exec();
        if (headless)
            status = boxes->errors() > 0 ? 1 : 0;
        finalizeUnits();
    }
    platform::setMessageBoxes(nullptr);
    return status;
}
