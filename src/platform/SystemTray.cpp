#include "platform/SystemTray.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

namespace {

SystemTray::Recorder& CurrentRecorder()
{
    static SystemTray::Recorder instance;
    return instance;
}

std::optional<bool>& AvailabilityOverride()
{
    static std::optional<bool> instance;
    return instance;
}

// Qt's XEmbed tray icon is a small top-level widget of this class, created when the icon
// is shown in a tray found on the X display.
constexpr const char* kTrayWidgetClass = "QSystemTrayIconSys";
constexpr const char* kOwnerProperty = "tallyclockTrayOwner";
constexpr int kAttachRetryMs = 100;
constexpr int kAttachRetries = 20;

} // namespace

SystemTray::SystemTray(QObject* parent) : QObject(parent)
{
    // Qt has chosen its road as icon_ was made, and it tells only this way: on the D-Bus road
    // a context menu gets a platform menu, which Qt exports for the host to draw.
    if (!IsHeadless()) {
        icon_.setContextMenu(&hostMenu_);
        road_ = hostMenu_.platformMenu() ? Road::StatusNotifierItem : Road::XEmbed;
        // On the XEmbed road Qt would pop a context menu up itself on the right press.
        if (road_ == Road::XEmbed)
            icon_.setContextMenu(nullptr);
        // Qt's XEmbed icon serves X11 alone: elsewhere (Wayland) its watch for the tray's window
        // finds no such signal and only warns, and no tray of that kind ever comes.
        if (road_ == Road::XEmbed && QGuiApplication::platformName() != QLatin1String("xcb"))
            road_ = Road::None;
    }
    // QSystemTrayIcon reports presses only (Context on the right press, on X11); it serves
    // where Qt's own tray widget is absent, i.e. a D-Bus StatusNotifier host.
    connect(&icon_, &QSystemTrayIcon::activated, this, &SystemTray::Activated);
}

SystemTray::~SystemTray() = default;

bool SystemTray::Add(const QIcon& icon, const QString& tooltip)
{
    icon_.setIcon(icon);
    icon_.setToolTip(tooltip);
    added_ = true;
    // Shown even without a notification area: Qt puts the icon in one that turns up later.
    // Without a road (headless platforms, Wayland without a StatusNotifierItem host) none
    // comes, and there Qt's X11 tray code only warns.
    if (road_ != Road::None)
        icon_.show();
    attachRetries_ = 0;
    AttachToTrayWidget();
    const bool result = IsShown();
    Record(Operation::Add, result);
    return result;
}

bool SystemTray::Modify(const QString& tooltip, const QIcon& icon)
{
    // The same icon again would make a host fetch and draw it anew.
    if (!icon.isNull() && icon.cacheKey() != icon_.icon().cacheKey())
        icon_.setIcon(icon);
    icon_.setToolTip(tooltip);
    AttachToTrayWidget();
    const bool result = IsShown();
    Record(Operation::Modify, result);
    return result;
}

bool SystemTray::Delete()
{
    const bool result = IsShown();
    added_ = false;
    icon_.hide();
    trayWidget_ = nullptr;
    Record(Operation::Delete, result);
    return result;
}

bool SystemTray::IsAvailable()
{
    if (AvailabilityOverride())
        return *AvailabilityOverride();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTray::SetHostMenu(QMenu* menu)
{
    // Each change makes hosts fetch the menu anew: only real changes count.
    if (road_ != Road::StatusNotifierItem || menu == offered_)
        return;
    offered_ = menu;
    // The actions stay the menu's own; the host menu only shows them.
    for (QAction* action : hostMenu_.actions())
        hostMenu_.removeAction(action);
    if (menu)
        hostMenu_.addActions(menu->actions());
}

bool SystemTray::IsHeadless()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

bool SystemTray::IsShown() const
{
    return added_ && IsAvailable();
}

QString SystemTray::Tooltip() const
{
    return icon_.toolTip();
}

void SystemTray::SetRecorder(Recorder newRecorder)
{
    CurrentRecorder() = std::move(newRecorder);
}

void SystemTray::SetAvailabilityOverride(std::optional<bool> available)
{
    AvailabilityOverride() = available;
}

void SystemTray::InjectMouseMessage(int message)
{
    emit MouseMessage(message);
}

// Windows' numbering: a double-click arrives as down, up, double-click, up, which is also
// the order in which Qt delivers press, release, double-click and release.
int SystemTray::MessageForEvent(const QEvent* event)
{
    const auto button = [event] { return static_cast<const QMouseEvent*>(event)->button(); };
    switch (event->type()) {
    case QEvent::MouseMove:
        return MouseMove;
    case QEvent::MouseButtonPress:
        return button() == Qt::LeftButton ? LeftButtonDown : button() == Qt::RightButton ? RightButtonDown : 0;
    case QEvent::MouseButtonRelease:
        return button() == Qt::LeftButton ? LeftButtonUp : button() == Qt::RightButton ? RightButtonUp : 0;
    case QEvent::MouseButtonDblClick:
        return button() == Qt::LeftButton ? LeftButtonDoubleClick
            : button() == Qt::RightButton ? RightButtonDoubleClick
                                          : 0;
    default:
        return 0;
    }
}

bool SystemTray::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == trayWidget_) {
        if (const int message = MessageForEvent(event))
            PostMessage(message);
    }
    return false;
}

// Watching Qt's tray widget is the only way to see the release of the right button, which
// is what opens the popup menu. The widget may come later than show() (the tray host
// appears late) or anew (the host restarted), hence the retries and the attach from
// Activated: that is emitted during the press, so the release that follows is seen.
void SystemTray::AttachToTrayWidget()
{
    // No such widget comes on the D-Bus road: nothing to wait for there.
    if (road_ == Road::StatusNotifierItem || trayWidget_ || !added_)
        return;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        // A marked widget belongs to another instance's icon (it dies with that icon).
        if (qstrcmp(widget->metaObject()->className(), kTrayWidgetClass) != 0
            || widget->property(kOwnerProperty).isValid())
            continue;
        widget->setProperty(kOwnerProperty, true);
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
        trayWidget_ = widget;
        return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (attachRetries_ < kAttachRetries) {
        ++attachRetries_;
        QTimer::singleShot(kAttachRetryMs, this, &SystemTray::AttachToTrayWidget);
        return;
    }
    // The lookup by class name leans on a Qt internal: say so once when it stops working,
    // rather than fall back to presses in silence.
    static bool warned = false;
    if (road_ == Road::XEmbed && !warned) {
        warned = true;
        qWarning("Tallyclock: Qt's tray widget %s did not appear; the popup menu opens on the "
                 "right-button press instead of its release.",
                 kTrayWidgetClass);
    }
}

// Fallback mapping where the host reports activations instead of raw events: its context
// request is its right-button release (517), Trigger a left click (514), DoubleClick 515.
int SystemTray::MessageForActivation(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Context:
        return RightButtonUp;
    case QSystemTrayIcon::Trigger:
        return LeftButtonUp;
    case QSystemTrayIcon::DoubleClick:
        return LeftButtonDoubleClick;
    default:
        return 0;
    }
}

void SystemTray::Activated(QSystemTrayIcon::ActivationReason reason)
{
    AttachToTrayWidget();
    if (trayWidget_)
        return;
    if (const int message = MessageForActivation(reason))
        PostMessage(message);
}

// Delivered from the event loop, not from inside the tray widget's event: the receiver may
// open a modal menu there and even remove the icon, which deletes that widget.
void SystemTray::PostMessage(int message)
{
    QMetaObject::invokeMethod(
        this, [this, message] { emit MouseMessage(message); }, Qt::QueuedConnection);
}

void SystemTray::Record(Operation operation, bool result) const
{
    if (CurrentRecorder())
        CurrentRecorder()(Call{operation, icon_.toolTip(), result});
}
