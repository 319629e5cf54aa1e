#include "platform/ProgramIcon.h"

#include "platform/AppId.h"

// Made anew for each window: an icon kept in a static would outlive the application.
QIcon ProgramIcon()
{
    const QString name = QString::fromLatin1(kAppId);
    return QIcon::fromTheme(name, QIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".svg")));
}
