#include "platform/ProgramIcon.h"

#include "platform/AppId.h"

// Made anew for each window: an icon kept in a static would outlive the application.
QIcon ProgramIcon(bool running)
{
    // No "-" before "running": icon themes read "a-b" as a variant of "a", and a theme that
    // lacks the running icon would give the idle one for it.
    const QString name = QString::fromLatin1(kAppId) + (running ? QStringLiteral(".running") : QString());
    return QIcon::fromTheme(name, QIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".svg")));
}
