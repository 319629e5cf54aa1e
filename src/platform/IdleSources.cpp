#include "platform/IdleSources.h"

namespace {

const QString kMutter = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString kMutterPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");

std::optional<qint64> Answer(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 value = reply.arguments().constFirst().toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

// GNOME (Mutter), on X11 and Wayland alike: watches that fire once input has stopped for a
// time, and once it comes back.
class MutterIdle : public IdleSource
{
    Q_OBJECT

public:
    MutterIdle()
    {
        QDBusConnection::sessionBus().connect(kMutter, kMutterPath, kMutter, QStringLiteral("WatchFired"), this,
                                              SLOT(Fired(uint)));
    }
    ~MutterIdle() override
    {
        QDBusConnection::sessionBus().disconnect(kMutter, kMutterPath, kMutter, QStringLiteral("WatchFired"), this,
                                                 SLOT(Fired(uint)));
        for (const uint watch : {idleWatch_, activeWatch_})
            if (watch)
                Call(QStringLiteral("RemoveWatch"), {watch});
    }

    QString Name() const override { return QStringLiteral("org.gnome.Mutter.IdleMonitor"); }
    std::optional<qint64> IdleMs() override { return Answer(Call(QStringLiteral("GetIdletime"))); }
    bool Signals() const override { return true; }
    void Watch(qint64 thresholdMs) override
    {
        thresholdMs_ = thresholdMs;
        idleWatch_ = Answer(Call(QStringLiteral("AddIdleWatch"), {quint64(thresholdMs)})).value_or(0);
    }

private slots:
    void Fired(uint watch)
    {
        if (watch == idleWatch_ && watch) {
            // A watch on input fires once, at the first input after it is added.
            activeWatch_ = Answer(Call(QStringLiteral("AddUserActiveWatch"))).value_or(0);
            emit Idle(thresholdMs_);
        } else if (watch == activeWatch_ && watch) {
            activeWatch_ = 0;
            emit Active();
        }
    }

private:
    static QDBusMessage Call(const QString& method, const QVariantList& arguments = {})
    {
        return CallService(QDBusConnection::sessionBus(), kMutter, kMutterPath, kMutter, method, arguments);
    }

    qint64 thresholdMs_ = 0;
    uint idleWatch_ = 0;
    uint activeWatch_ = 0;
};

// KDE: the screen saver service tells the idle time when asked.
class ScreenSaverIdle : public IdleSource
{
public:
    QString Name() const override { return QStringLiteral("org.freedesktop.ScreenSaver"); }
    std::optional<qint64> IdleMs() override
    {
        return Answer(CallService(QDBusConnection::sessionBus(), kScreenSaver, kScreenSaverPath, kScreenSaver,
                                  QStringLiteral("GetSessionIdleTime")));
    }
};

template <class Source>
std::unique_ptr<IdleSource> IfItAnswers()
{
    auto source = std::make_unique<Source>();
    if (!source->IdleMs())
        return nullptr;
    return source;
}

} // namespace

QDBusMessage CallService(const QDBusConnection& bus, const QString& service, const QString& path,
                         const QString& interface, const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return bus.call(call, QDBus::Block, kServiceAnswerMs);
}

std::unique_ptr<IdleSource> OpenIdleSource()
{
    for (auto open : {&IfItAnswers<MutterIdle>, &IfItAnswers<ScreenSaverIdle>, &OpenWaylandIdle, &OpenX11Idle})
        if (auto source = open())
            return source;
    return nullptr;
}

#include "IdleSources.moc"
