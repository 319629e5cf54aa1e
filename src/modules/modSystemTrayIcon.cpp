#include "modules/modSystemTrayIcon.h"

#include "platform/SystemTray.h"

#include <QCoreApplication>
#include <QHash>
#include <QIcon>
#include <QPointer>
#include <QWidget>

#include <algorithm>

void NOTIFYICONDATA::SetTip(const QString& text)
{
    constexpr int kRoom = 64;
    // One place is kept for the NUL, so the shell always finds the tip's end.
    const int len = static_cast<int>(std::min<qsizetype>(text.size(), kRoom - 1));
    for (int i = 0; i < len; ++i)
        szTip[i] = text.at(i);
    szTip[len] = QChar(0);
    for (int i = len + 1; i < kRoom; ++i)
        szTip[i] = QLatin1Char(' ');
}

QString NOTIFYICONDATA::Tip() const
{
    int len = 0;
    while (len < 64 && szTip[len] != QChar(0))
        ++len;
    return QString(szTip, len);
}

namespace {

// The icons in the notification area, one per window and number.
QHash<quint64, QPointer<SystemTray>>& Trays()
{
    static QHash<quint64, QPointer<SystemTray>> trays;
    return trays;
}

quint64 TrayKey(const NOTIFYICONDATA& data)
{
    return (quint64{data.hWnd} << 32) | data.uID;
}

// The icon that the record names: its window's icon as it is now.
QIcon IconOf(const NOTIFYICONDATA& data)
{
    const QWidget* owner = QWidget::find(data.hIcon);
    return owner ? owner->windowIcon() : QIcon();
}

} // namespace

qint32 Shell_NotifyIconA(quint32 dwMessage, NOTIFYICONDATA& lpData)
{
    const quint64 key = TrayKey(lpData);
    QPointer<SystemTray> tray = Trays().value(key);
    switch (dwMessage) {
    case NIM_ADD: {
        QWidget* window = QWidget::find(lpData.hWnd);
        if (!window)
            return 0;
        if (!tray) {
            // Dies with its window; the callback reaches that window like a message of its own.
            tray = new SystemTray(window);
            Trays().insert(key, tray);
            const quint32 callback = lpData.uCallbackMessage;
            QObject::connect(tray, &SystemTray::MouseMessage, window, [window, callback](int message) {
                TrayCallbackEvent event(callback, static_cast<quint32>(message));
                QCoreApplication::sendEvent(window, &event);
            });
        }
        return tray->Add(IconOf(lpData), lpData.Tip()) ? 1 : 0;
    }
    case NIM_MODIFY:
        return tray && tray->Modify(lpData.Tip(), IconOf(lpData)) ? 1 : 0;
    case NIM_DELETE: {
        const bool removed = tray && tray->Delete();
        if (tray)
            tray->deleteLater();
        Trays().remove(key);
        return removed ? 1 : 0;
    }
    default:
        return 0;
    }
}

void SetNotifyIconMenu(const NOTIFYICONDATA& lpData, QMenu* menu)
{
    if (SystemTray* tray = Trays().value(TrayKey(lpData)))
        tray->SetHostMenu(menu);
}

qint32 SetForegroundWindow(quint32 hWnd)
{
    QWidget* window = QWidget::find(hWnd);
    if (!window)
        return 0;
    window->raise();
    window->activateWindow();
    return 1;
}

quint32 WindowHandle(QWidget* window)
{
    return static_cast<quint32>(window->winId());
}

// A window's icon is named by the window: no icon is kept apart from the window that shows it.
quint32 IconHandle(QWidget* window)
{
    return WindowHandle(window);
}

QEvent::Type TrayCallbackEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}
