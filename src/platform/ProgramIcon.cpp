#include "platform/ProgramIcon.h"

#include <QPainter>
#include <QPixmap>

#include <cmath>
#include <numbers>

namespace {

// A point at the given angle (0 = twelve o'clock, clockwise) and distance from the centre.
QPointF Polar(QPointF centre, double degrees, double length)
{
    const double radians = degrees * std::numbers::pi / 180.0;
    return centre + QPointF(length * std::sin(radians), -length * std::cos(radians));
}

QPixmap Clock(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    const QPointF centre(s / 2.0, s / 2.0);
    const double radius = s / 2.0 - 1.0;

    p.setPen(QPen(QColor(0, 0, 128), std::max(1.0, s / 16.0)));
    p.setBrush(QColor(255, 255, 224));
    p.drawEllipse(centre, radius, radius);

    // Hour marks at twelve, three, six and nine.
    p.setPen(QPen(QColor(0, 0, 128), std::max(1.0, s / 24.0)));
    for (int hour = 0; hour < 12; hour += 3)
        p.drawLine(Polar(centre, hour * 30.0, radius * 0.85), Polar(centre, hour * 30.0, radius * 0.65));

    // Ten past ten, the hands of every clock in a shop window.
    p.setPen(QPen(Qt::black, std::max(1.5, s / 12.0), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, Polar(centre, 305.0, radius * 0.5));
    p.setPen(QPen(QColor(192, 0, 0), std::max(1.0, s / 16.0), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, Polar(centre, 60.0, radius * 0.75));
    return pixmap;
}

} // namespace

// Drawn anew for each window: a pixmap kept in a static would outlive the application.
QIcon ProgramIcon()
{
    QIcon icon;
    icon.addPixmap(Clock(16));
    icon.addPixmap(Clock(32));
    return icon;
}
