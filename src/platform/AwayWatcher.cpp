#include "platform/AwayWatcher.h"

#include "platform/Clock.h"
#include "platform/IdleSources.h"
#include "platform/Regional.h"

#include <QCoreApplication>
#include <QDBusObjectPath>

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kLoginManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kLoginSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// The boot clock runs ahead of the monotonic clock only while the machine sleeps.
constexpr qint64 kShortestSleepMs = 1000;

// logind's session of this program: the one it runs in, else the one the environment names.
QString SessionPath()
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    QDBusMessage reply = CallService(bus, kLogin, kLoginPath, kLoginManager, QStringLiteral("GetSessionByPID"),
                                     {uint(QCoreApplication::applicationPid())});
    if (reply.type() != QDBusMessage::ReplyMessage && !qEnvironmentVariableIsEmpty("XDG_SESSION_ID"))
        reply = CallService(bus, kLogin, kLoginPath, kLoginManager, QStringLiteral("GetSession"),
                            {qEnvironmentVariable("XDG_SESSION_ID")});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QString();
    return qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
}

} // namespace

AwayWatcher::AwayWatcher(QObject* parent) : QObject(parent)
{
    timer_.setTimerType(Qt::VeryCoarseTimer);
    connect(&timer_, &QTimer::timeout, this, &AwayWatcher::Check);
}

AwayWatcher::~AwayWatcher()
{
    Stop();
}

void AwayWatcher::Start(qint64 thresholdMs)
{
    Stop();
    watching_ = true;
    thresholdMs_ = thresholdMs;
    const Clock& clock = CurrentClock();
    started_ = lastCheck_ = clock.BootMs();
    clockGap_ = started_ - clock.MonotonicMs();
    since_.reset();
    asleep_ = locked_ = idle_ = false;
    if (thresholdMs_ > 0)
        source_ = OpenIdleSource();
    if (source_) {
        connect(source_.get(), &IdleSource::Idle, this, &AwayWatcher::Idle);
        connect(source_.get(), &IdleSource::Active, this, [this] { Active(Now()); });
        if (source_->Signals())
            source_->Watch(thresholdMs_);
    }
    sessionPath_ = SessionPath();
    Connect(true);
    checkMs_ = int(thresholdMs_ > 0 ? qBound<qint64>(1000, thresholdMs_ / 2, qint64{kTickMs}) : kTickMs);
    if (checkMs_ < kTickMs)
        timer_.start(checkMs_);
}

void AwayWatcher::Stop()
{
    if (!watching_)
        return;
    watching_ = false;
    timer_.stop();
    Connect(false);
    source_.reset();
    since_.reset();
}

QString AwayWatcher::IdleSourceName() const
{
    return source_ ? source_->Name() : QString();
}

void AwayWatcher::Connect(bool on)
{
    const auto link = [this, on](QDBusConnection bus, const QString& service, const QString& path,
                                 const QString& interface, const char* name, const char* slot) {
        const QString member = QLatin1String(name);
        on ? bus.connect(service, path, interface, member, this, slot)
           : bus.disconnect(service, path, interface, member, this, slot);
    };
    const QDBusConnection system = QDBusConnection::systemBus();
    link(system, kLogin, kLoginPath, kLoginManager, "PrepareForSleep", SLOT(PrepareForSleep(bool)));
    if (!sessionPath_.isEmpty()) {
        link(system, kLogin, sessionPath_, kLoginSession, "Lock", SLOT(Lock()));
        link(system, kLogin, sessionPath_, kLoginSession, "Unlock", SLOT(Unlock()));
        link(system, kLogin, sessionPath_, kProperties, "PropertiesChanged",
             SLOT(SessionChanged(QString, QVariantMap, QStringList)));
    }
    // KDE serves it at two paths: any path will do.
    link(QDBusConnection::sessionBus(), kScreenSaver, QString(), kScreenSaver, "ActiveChanged",
         SLOT(ScreenSaverActive(bool)));
}

void AwayWatcher::Check()
{
    if (!watching_)
        return;
    CheckClocks();
    const qint64 now = Now();
    if (source_ && !source_->Signals()) {
        if (const auto idle = source_->IdleMs()) {
            if (!idle_ && *idle >= thresholdMs_)
                Idle(*idle);
            // Input since the last check, which still saw the user idle: the earliest moment
            // the user can have come back.
            else if (idle_ && *idle < thresholdMs_)
                Active(lastCheck_);
        }
    }
    lastCheck_ = now;
}

// A sleep that logind announced ends here too, should its word of the resume come late.
void AwayWatcher::CheckClocks()
{
    const Clock& clock = CurrentClock();
    const qint64 now = clock.BootMs();
    const qint64 gap = now - clock.MonotonicMs();
    const qint64 slept = gap - clockGap_;
    clockGap_ = gap;
    if (slept < kShortestSleepMs)
        return;
    // Seen from the clocks alone, the sleep is taken to have ended just now.
    if (!asleep_)
        Away(now - slept);
    asleep_ = false;
    lastCheck_ = now;
    Back(now);
}

void AwayWatcher::PrepareForSleep(bool sleeping)
{
    CheckClocks();
    if (sleeping && !asleep_) {
        asleep_ = true;
        Away(LastActive());
    } else if (!sleeping && asleep_) {
        asleep_ = false;
        Back(Now());
    }
}

void AwayWatcher::Lock()
{
    Locked(true);
}

void AwayWatcher::Unlock()
{
    Locked(false);
}

void AwayWatcher::SessionChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
{
    const auto hint = changed.constFind(QStringLiteral("LockedHint"));
    if (interface == kLoginSession && hint != changed.constEnd())
        Locked(hint->toBool());
}

void AwayWatcher::ScreenSaverActive(bool active)
{
    Locked(active);
}

// Several services may tell of the same lock; the last word counts.
void AwayWatcher::Locked(bool locked)
{
    CheckClocks();
    if (locked == locked_)
        return;
    locked_ = locked;
    if (locked)
        Away(LastActive());
    else
        Back(Now());
}

void AwayWatcher::Idle(qint64 idleMs)
{
    CheckClocks();
    idle_ = true;
    Away(Now() - idleMs);
}

void AwayWatcher::Active(qint64 since)
{
    CheckClocks();
    if (!idle_)
        return;
    idle_ = false;
    Back(since);
}

// The absence began when the user was last active, but not before the watch.
void AwayWatcher::Away(qint64 since)
{
    since = std::max(since, started_);
    since_ = since_ ? std::min(*since_, since) : since;
}

void AwayWatcher::Back(qint64 at)
{
    if (!since_ || asleep_ || locked_ || idle_)
        return;
    const qint64 from = *since_;
    since_.reset();
    at = std::max(at, from);
    if (at - from >= std::max<qint64>(thresholdMs_, kShortestSleepMs))
        emit AbsenceEnded(MomentAt(from), MomentAt(at));
}

// The user's last input as the idle source tells it; now where it cannot.
qint64 AwayWatcher::LastActive()
{
    if (idle_ && since_)
        return *since_;
    const std::optional<qint64> idle = source_ ? source_->IdleMs() : std::nullopt;
    return Now() - idle.value_or(0);
}

qint64 AwayWatcher::Now()
{
    return CurrentClock().BootMs();
}

double AwayWatcher::MomentAt(qint64 bootMs)
{
    const Clock& clock = CurrentClock();
    const QDateTime at = clock.LocalNow().addMSecs(bootMs - clock.BootMs());
    return MomentFromDateTime(at.date(), at.time());
}
