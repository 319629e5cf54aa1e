// The idle sources that talk to the display server itself, each over a connection of its own,
// whatever platform Qt runs on.
#include "platform/IdleSources.h"

#include <QSocketNotifier>

#include <cstring>

#include "ext-idle-notify-v1-client-protocol.h"
#include <wayland-client.h>
// Xlib last: its macros (None, Bool, Status) would clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace {

// Under a Wayland session the X server only sees the input of X programs.
bool WaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariable("XDG_SESSION_TYPE") == "wayland";
}

// wlroots compositors (sway, labwc, Hyprland and others) and KWin: the compositor notifies once
// input has stopped for the time asked, and again at the first input.
class WaylandIdle : public IdleSource
{
public:
    WaylandIdle() : display_(wl_display_connect(nullptr))
    {
        if (!display_)
            return;
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &kRegistryListener, this);
        if (wl_display_roundtrip(display_) < 0)
            return;
        readable_ = std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
        QObject::connect(readable_.get(), &QSocketNotifier::activated, this, [this] {
            // A broken connection tells nothing more.
            if (wl_display_dispatch(display_) < 0)
                readable_->setEnabled(false);
        });
    }
    ~WaylandIdle() override
    {
        readable_.reset();
        if (notification_)
            ext_idle_notification_v1_destroy(notification_);
        if (notifier_)
            ext_idle_notifier_v1_destroy(notifier_);
        if (seat_)
            wl_seat_destroy(seat_);
        if (registry_)
            wl_registry_destroy(registry_);
        if (display_)
            wl_display_disconnect(display_);
    }
    WaylandIdle(const WaylandIdle&) = delete;
    WaylandIdle& operator=(const WaylandIdle&) = delete;

    bool IsOffered() const { return readable_ && notifier_ && seat_; }

    QString Name() const override { return QStringLiteral("ext-idle-notify-v1"); }
    std::optional<qint64> IdleMs() override { return std::nullopt; }
    bool Signals() const override { return true; }
    void Watch(qint64 thresholdMs) override
    {
        thresholdMs_ = thresholdMs;
        notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, uint32_t(thresholdMs), seat_);
        ext_idle_notification_v1_add_listener(notification_, &kNotificationListener, this);
        wl_display_flush(display_);
    }

private:
    static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t /*version*/)
    {
        auto* self = static_cast<WaylandIdle*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_)
            self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 && !self->notifier_)
            self->notifier_ = static_cast<ext_idle_notifier_v1*>(
                wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    }
    static void GlobalRemoved(void*, wl_registry*, uint32_t) { }
    static void Idled(void* data, ext_idle_notification_v1*)
    {
        auto* self = static_cast<WaylandIdle*>(data);
        emit self->Idle(self->thresholdMs_);
    }
    static void Resumed(void* data, ext_idle_notification_v1*) { emit static_cast<WaylandIdle*>(data)->Active(); }

    static constexpr wl_registry_listener kRegistryListener{&Global, &GlobalRemoved};
    static constexpr ext_idle_notification_v1_listener kNotificationListener{&Idled, &Resumed};

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    ext_idle_notifier_v1* notifier_ = nullptr;
    ext_idle_notification_v1* notification_ = nullptr;
    std::unique_ptr<QSocketNotifier> readable_;
    qint64 thresholdMs_ = 0;
};

// X11: the screen saver extension tells the server's idle time when asked.
class X11Idle : public IdleSource
{
public:
    explicit X11Idle(Display* display) : display_(display), info_(XScreenSaverAllocInfo()) { }
    ~X11Idle() override
    {
        XFree(info_);
        XCloseDisplay(display_);
    }
    X11Idle(const X11Idle&) = delete;
    X11Idle& operator=(const X11Idle&) = delete;

    QString Name() const override { return QStringLiteral("MIT-SCREEN-SAVER"); }
    std::optional<qint64> IdleMs() override
    {
        if (!info_ || !XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), info_))
            return std::nullopt;
        return qint64(info_->idle);
    }

private:
    Display* display_;
    XScreenSaverInfo* info_;
};

} // namespace

std::unique_ptr<IdleSource> OpenWaylandIdle()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return nullptr;
    auto source = std::make_unique<WaylandIdle>();
    if (!source->IsOffered())
        return nullptr;
    return source;
}

std::unique_ptr<IdleSource> OpenX11Idle()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || WaylandSession())
        return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    int event = 0;
    int error = 0;
    if (!XScreenSaverQueryExtension(display, &event, &error)) {
        XCloseDisplay(display);
        return nullptr;
    }
    return std::make_unique<X11Idle>(display);
}
