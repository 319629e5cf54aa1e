#include "forms/ErrorPolicy.h"
#include "forms/FormSupport.h"
#include "forms/RemoteCommands.h"
#include "forms/frmMain.h"
#include "platform/AppId.h"
#include "platform/Clock.h"
#include "platform/CommandLine.h"
#include "platform/DataFolder.h"
#include "platform/SingleInstance.h"

#include <QApplication>

#include <cstdio>
#include <memory>
#include <thread>

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Options are handled before anything needs a display, so that they work over ssh. Qt's own
    // options are Qt's: a session manager restarts the program with -session.
    const QStringList options = WithoutToolkitOptions(arguments);
    if (options.size() > 1) {
        const QCoreApplication app(argc, argv);
        return RunCommandLine(options);
    }
    if (!DisplayNamed(arguments)) {
        std::fputs("tallyclock: no display found: neither DISPLAY nor WAYLAND_DISPLAY is set.\n", stderr);
        return 1;
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
    std::unique_ptr<RemoteCommands> commands;
    // Stopped and waited for on the way out; what it leaves unfinished, the next start makes.
    std::jthread backup;
    bool running = false;
    const bool started = RunStartup([&] {
        const QString folder = OpenDataFolder(QCoreApplication::applicationDirPath());
        // A copy that already runs over this database shows itself instead.
        running = instance.Claim(DatabaseFileIn(folder));
        if (!running)
            return;
        frmMain().Form_Load();
        commands = std::make_unique<RemoteCommands>(instance);
        // Once the window shows, and only of a database that it opened: a large one takes a while.
        if (folder == UserDataFolder())
            backup = std::jthread([folder, today = CurrentClock().LocalNow().date()](const std::stop_token& stop) {
                BackUpDatabase(folder, today, [&stop] { return !stop.stop_requested(); });
            });
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
