// The program's entry: the units' start-up, the main window, the message
// loop, and the units' release at exit.
#include "app/Application.h"
#include "app/Unit1.h"
#include "kxCommon/kxODBC.h"
#include "kxCommon/kxODBCUtils.h"
#include "kxCommon/kxPageMetrics.h"
#include "kxCommon/kxXP.h"
#include "platform/PeModule.h"

#include <QDir>

int main(int argc, char** argv)
{
    // The program's parameters are its own: read them before the toolkit
    // could take "-style" or "-platform" out of them.
    QStringList params;
    for (int i = 1; i < argc; ++i)
        params << QString::fromLocal8Bit(argv[i]);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};

    TApplication app(qtArgc, qtArgv);
    TApplication::setApplicationName(QStringLiteral("Pictorium"));
    TApplication::setOrganizationName(QStringLiteral("Quellmark"));
    TApplication::setApplicationVersion(QStringLiteral("5.1.0.2"));
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
        {kxPageMetrics::Initialize, kxPageMetrics::Finalize},
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
        form.FormCreate();
        form.show();
        status = TApplication::exec();
        finalizeUnits();
    }
    return status;
}
