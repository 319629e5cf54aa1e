#include "modules/modSystemTrayIcon.h"

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
