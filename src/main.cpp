#include "forms/ErrorPolicy.h"
#include "forms/FormSupport.h"
#include "forms/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // With the main window hidden in the notification area no window is shown, yet the program
    // goes on; it ends when the main window unloads.
    QApplication::setQuitOnLastWindowClosed(false);
    SetUpApplication();

    const bool started = RunStartup([] { frmMain().Form_Load(); });
    const int status = started ? QApplication::exec() : 1;

    // The windows go before the application object they belong to.
    frmMain.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}
