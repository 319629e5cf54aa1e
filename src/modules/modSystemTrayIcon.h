#pragma once

#include <QString>
#include <QtGlobal>

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
