// Stands in for the desktop services that tell of absence: logind (org.freedesktop.login1, on
// the system bus), GNOME's idle monitor and the screen saver service (on the session bus).
// Usage: away_standin [login1] [mutter] [screensaver]; prints "ready" once it owns the names.
// A test drives it through the method Do of io.github.tallyclock.StandIn on either bus: sleep, wake, lock, unlock, locked and
// unlocked (the session's LockedHint), saver1 and saver0, idle=MS and active. Each signal is
// sent before Do answers, on the bus the signal belongs to.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QMap>
#include <QTextStream>

namespace {

const QString kSession = QStringLiteral("/org/freedesktop/login1/session/_1");

class StandIn : public QDBusVirtualObject
{
public:
    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString member = message.member();
        const QVariant first = message.arguments().value(0);
        QVariantList answer;
        if (member == "GetSessionByPID" || member == "GetSession")
            answer << QVariant::fromValue(QDBusObjectPath(kSession));
        else if (member == "GetIdletime")
            answer << quint64(idleMs_);
        else if (member == "GetSessionIdleTime")
            answer << uint(idleMs_);
        else if (member == "AddIdleWatch" || member == "AddUserActiveWatch")
            answer << watches_.insert(++lastWatch_, member == "AddIdleWatch" ? first.toLongLong() : -1).key();
        else if (member == "RemoveWatch")
            watches_.remove(first.toUInt());
        else if (member == "Do")
            Do(first.toString());
        else
            return false;
        connection.send(message.createReply(answer));
        return true;
    }

private:
    static void Signal(const QString& path, const QString& interface, const QString& name, const QVariantList& args)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
        signal.setArguments(args);
        (interface.contains("login1") || interface.contains("Properties") ? QDBusConnection::systemBus()
                                                                           : QDBusConnection::sessionBus())
            .send(signal);
    }
    void Do(const QString& command)
    {
        const QString manager = "/org/freedesktop/login1", session = "org.freedesktop.login1.Session";
        if (command == "sleep" || command == "wake")
            Signal(manager, "org.freedesktop.login1.Manager", "PrepareForSleep", {command == "sleep"});
        else if (command == "lock" || command == "unlock")
            Signal(kSession, session, command == "lock" ? "Lock" : "Unlock", {});
        else if (command == "locked" || command == "unlocked")
            Signal(kSession, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                   {session, QVariantMap{{"LockedHint", command == "locked"}}, QStringList()});
        else if (command.startsWith("saver"))
            Signal("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged",
                   {command.endsWith('1')});
        const bool idle = command.startsWith("idle="), active = command == "active";
        idleMs_ = idle ? command.mid(5).toLongLong() : active ? 0 : idleMs_;
        // Idle watches fire as the idle time reaches them; watches on input, at the first input.
        for (auto watch = watches_.begin(); watch != watches_.end();)
            if ((idle && *watch >= 0 && *watch <= idleMs_) || (active && *watch < 0)) {
                Signal("/org/gnome/Mutter/IdleMonitor/Core", "org.gnome.Mutter.IdleMonitor", "WatchFired",
                       {watch.key()});
                watch = *watch < 0 ? watches_.erase(watch) : std::next(watch);
            } else {
                ++watch;
            }
    }

    qint64 idleMs_ = 0;
    uint lastWatch_ = 0;
    QMap<uint, qint64> watches_; // interval; -1 for a watch on input
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    StandIn standIn;
    const QMap<QString, QString> names{{"login1", "org.freedesktop.login1"},
                                       {"mutter", "org.gnome.Mutter.IdleMonitor"},
                                       {"screensaver", "org.freedesktop.ScreenSaver"}};
    for (QDBusConnection bus : {QDBusConnection::systemBus(), QDBusConnection::sessionBus()}) {
        bus.registerVirtualObject("/", &standIn, QDBusConnection::SubPath);
        bus.registerService("io.github.tallyclock.StandIn");
    }
    for (const QString& role : app.arguments().mid(1))
        (role == "login1" ? QDBusConnection::systemBus() : QDBusConnection::sessionBus())
            .registerService(names.value(role));
    QTextStream(stdout) << "ready" << Qt::endl;
    return QCoreApplication::exec();
}
