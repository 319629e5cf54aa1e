#include "forms/ErrorPolicy.h"
#include "forms/FormSupport.h"
#include "forms/frmMain.h"
#include "platform/AppId.h"
#include "platform/Clock.h"
#include "platform/CommandLine.h"
#include "platform/DataFolder.h"
#include "platform/SingleInstance.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Options are handled before anything needs a display, so that they work over ssh.
    if (argc > 1) {
        const QCoreApplication app(argc, argv);
        return RunCommandLine(QCoreApplication::arguments());
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QLatin1String(kAppId));
    // With the main window hidden in the notification area no window is shown, yet the program
    // goes on; it ends when the main window unloads.
    QApplication::setQuitOnLastWindowClosed(false);
    SetUpApplication();

    SingleInstance instance;
    QObject::connect(&instance, &SingleInstance::ShowRequested,
                     [] { RunHandler([] { frmMain().mnuViewProjects_Click(); }); });
    bool running = false;
    const bool started = RunStartup([&] {
        const QString folder = OpenDataFolder(QCoreApplication::applicationDirPath());
        // A copy that already runs over this database shows itself instead.
        running = instance.Claim(DatabaseFileIn(folder));
        if (!running)
            return;
        if (folder == UserDataFolder())
            BackUpDatabase(folder, CurrentClock().LocalNow().date());
        frmMain().Form_Load();
    });
    // Asked of the one copy that runs, so two starts at once ask once.
    if (started && running)
        RunHandler([] { frmMain().AskAboutUnendedTiming(); });
    const int status = !started ? 1 : running ? QApplication::exec() : 0;

    // The windows go before the application object they belong to.
    frmMain.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}
