// Stands in for the desktop services that tell of absence: logind (on the system bus), GNOME's
// idle monitor and the screen saver service (on the session bus).
// Usage: away_standin [login1] [mutter] [screensaver]; prints "ready" once it owns the names
// (other words are no services of its own).
// A test drives it through the method Do of io.github.tallyclock.StandIn on either bus: sleep,
// wake, lock, unlock, locked, unlocked (the session's LockedHint), saver1, saver0, idle=MS,
// active. It sends the signal before it answers, on the signal's own bus.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QMap>
#include <QTextStream>

namespace {

const QString kSession = "/org/freedesktop/login1/session/_1";

void Signal(const QString& path, const QString& interface, const QString& name, const QVariantList& arguments)
{
    QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
    signal.setArguments(arguments);
    (path.contains("login1") ? QDBusConnection::systemBus() : QDBusConnection::sessionBus()).send(signal);
}

class StandIn : public QDBusVirtualObject
{
public:
    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString member = message.member();
        const QVariant first = message.arguments().value(0);
        QVariantList answer;
        if (member == "GetSessionByPID")
            answer << QVariant::fromValue(QDBusObjectPath(kSession));
        else if (member == "GetIdletime" || member == "GetSessionIdleTime")
            answer << (member == "GetIdletime" ? QVariant(quint64(idleMs_)) : QVariant(uint(idleMs_)));
        else if (member == "AddIdleWatch" || member == "AddUserActiveWatch")
            answer << watches_.insert(watches_.size() + 1, member == "AddIdleWatch" ? first.toLongLong() : -1).key();
        else if (member == "Do")
            Do(first.toString());
        connection.send(message.createReply(answer));
        return true;
    }

private:
    void Do(const QString& command)
    {
        const QString session = "org.freedesktop.login1.Session";
        if (command == "sleep" || command == "wake")
            Signal("/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                   {command == "sleep"});
        else if (command == "lock" || command == "unlock")
            Signal(kSession, session, command == "lock" ? "Lock" : "Unlock", {});
        else if (command.endsWith("locked"))
            Signal(kSession, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                   {session, QVariantMap{{"LockedHint", command == "locked"}}, QStringList()});
        else if (command.startsWith("saver"))
            Signal("/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged", {command == "saver1"});
        const bool idle = command.startsWith("idle="), active = command == "active";
        idleMs_ = idle ? command.mid(5).toLongLong() : active ? 0 : idleMs_;
        // Idle watches fire as the idle time reaches them; watches on input, once, at input.
        for (auto watch = watches_.begin(); watch != watches_.end(); ++watch)
            if ((idle && *watch >= 0 && *watch <= idleMs_) || (active && *watch == -1)) {
                Signal("/org/gnome/Mutter/IdleMonitor/Core", "org.gnome.Mutter.IdleMonitor", "WatchFired",
                       {watch.key()});
                *watch = *watch == -1 ? -2 : *watch;
            }
    }

    qint64 idleMs_ = 0;
    QMap<uint, qint64> watches_; // interval; -1 a watch on input, -2 one that has fired
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    StandIn standIn;
    for (QDBusConnection bus : {QDBusConnection::systemBus(), QDBusConnection::sessionBus()}) {
        bus.registerVirtualObject("/", &standIn, QDBusConnection::SubPath);
        bus.registerService("io.github.tallyclock.StandIn");
    }
    const QMap<QString, QString> names{{"login1", "org.freedesktop.login1"},
                                       {"mutter", "org.gnome.Mutter.IdleMonitor"},
                                       {"screensaver", "org.freedesktop.ScreenSaver"}};
    for (const QString& role : app.arguments().mid(1))
        (role == "login1" ? QDBusConnection::systemBus() : QDBusConnection::sessionBus()).registerService(names[role]);
    QTextStream(stdout) << "ready" << Qt::endl;
    return QCoreApplication::exec();
}
