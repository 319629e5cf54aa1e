#pragma once

#include <QEvent>
#include <QString>
#include <QtGlobal>

class QMenu;
class QWidget;

// The notification-area icon record as the shell takes it: fields filled once at start-up,
// afterwards only the tip changes.
struct NOTIFYICONDATA
{
    quint32 cbSize = 0;
    quint32 hWnd = 0;
    quint32 uID = 0;
    quint32 uFlags = 0;
    quint32 uCallbackMessage = 0;
    quint32 hIcon = 0;
    QChar szTip[64] = {};

    // Stores a tip: the text (at most 63 characters), one NUL, then blanks to the end.
    void SetTip(const QString& text);
    // The tip as the shell shows it: up to the NUL.
    QString Tip() const;
};

constexpr quint32 NIM_ADD = 0;
constexpr quint32 NIM_MODIFY = 1;
constexpr quint32 NIM_DELETE = 2;
constexpr quint32 NIF_MESSAGE = 1;
constexpr quint32 NIF_ICON = 2;
constexpr quint32 NIF_TIP = 4;
constexpr quint32 WM_MOUSEMOVE = 0x200;
constexpr quint32 WM_LBUTTONDOWN = 0x201;
constexpr quint32 WM_LBUTTONUP = 0x202;
constexpr quint32 WM_LBUTTONDBLCLK = 0x203;
constexpr quint32 WM_RBUTTONDOWN = 0x204;
constexpr quint32 WM_RBUTTONUP = 0x205;
constexpr quint32 WM_RBUTTONDBLCLK = 0x206;

// The shell's notification-area icon service. NIM_ADD shows the icon that lpData.hIcon names
// (IconHandle) with the tip up to its NUL as tooltip, NIM_MODIFY shows them again as they are now
// (the window's icon may have changed), NIM_DELETE removes the icon;
// lpData.hWnd and lpData.uID tell the icon apart. The icon's mouse events reach the window
// lpData.hWnd as a TrayCallbackEvent. Returns 1 when the icon is in a notification area.
qint32 Shell_NotifyIconA(quint32 dwMessage, NOTIFYICONDATA& lpData);

// The menu a notification area that draws the icon's menu itself (a StatusNotifierItem host)
// offers on the icon named by lpData: menu's items, or none for nullptr. Other notification
// areas report the right-button release instead, and there this does nothing.
void SetNotifyIconMenu(const NOTIFYICONDATA& lpData, QMenu* menu);

// Brings a window to the front; 0 when the handle names no window.
qint32 SetForegroundWindow(quint32 hWnd);

// The handles that NOTIFYICONDATA and the calls above take for a window and for its icon.
quint32 WindowHandle(QWidget* window);
quint32 IconHandle(QWidget* window);

// What the shell sends a window for a mouse event on its icon: the record's callback message,
// with the mouse message (WM_MOUSEMOVE to WM_RBUTTONDBLCLK) as its parameter.
class TrayCallbackEvent : public QEvent
{
public:
    TrayCallbackEvent(quint32 message, quint32 lParam) : QEvent(EventType()), message(message), lParam(lParam) { }
    static QEvent::Type EventType();

    const quint32 message;
    const quint32 lParam;
};
