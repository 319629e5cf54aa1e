#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantList>

#include <memory>
#include <optional>

// How long a desktop service may take to answer before it counts as absent.
constexpr int kServiceAnswerMs = 1000;

// A method call on a bus, waiting at most kServiceAnswerMs for the answer.
QDBusMessage CallService(const QDBusConnection& bus, const QString& service, const QString& path,
                         const QString& interface, const QString& method, const QVariantList& arguments = {});

// The desktop's account of the time since the user's last keyboard or mouse input.
class IdleSource : public QObject
{
    Q_OBJECT

public:
    // Its name, as the README gives it.
    virtual QString Name() const = 0;
    // The idle time now, where the source can tell it at once.
    virtual std::optional<qint64> IdleMs() = 0;
    // Whether it signals Idle and Active itself; otherwise IdleMs is asked at each check.
    virtual bool Signals() const { return false; }
    // From now on, Idle once input has stopped for thresholdMs, then Active at the first input.
    virtual void Watch(qint64 /*thresholdMs*/) { }

signals:
    void Idle(qint64 idleMs);
    void Active();
};

// The first source that answers on this desktop: GNOME's idle monitor, the screen saver
// service's idle time (KDE), a Wayland compositor's idle notifications, the X server's screen
// saver extension. None where nothing answers.
std::unique_ptr<IdleSource> OpenIdleSource();

// The two that talk to the display server directly; none where it does not offer them.
std::unique_ptr<IdleSource> OpenWaylandIdle();
std::unique_ptr<IdleSource> OpenX11Idle();
