#pragma once

#include "forms/frmMain.h"
#include "modules/modGlobal.h"
#include "platform/ListView.h"

#include <QCoreApplication>

// Closes the main window as the user does, which unloads every window, and destroys them.
inline void UnloadWindows()
{
    frmMain().close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline void SelectID(ListView& list, qint64 id)
{
    list.Select(list.Find(KeyFromID(static_cast<qint32>(id))));
}
