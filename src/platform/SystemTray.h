#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <optional>

class QWidget;

// The program's icon in the notification area. Add, Modify and Delete answer like the
// shell's icon service: true when the icon is in a notification area. The icon's mouse
// events arrive as MouseMessage with the window-message numbers the rest of the program
// expects (a release of the right button is 517).
class SystemTray : public QObject
{
    Q_OBJECT

public:
    enum WindowMessage {
        MouseMove = 512,
        LeftButtonDown = 513,
        LeftButtonUp = 514,
        LeftButtonDoubleClick = 515,
        RightButtonDown = 516,
        RightButtonUp = 517,
        RightButtonDoubleClick = 518,
    };

    enum class Operation { Add, Modify, Delete };

    // How the icon reaches the notification area. Qt chooses when the icon is made, for the
    // whole process: a StatusNotifierItem over D-Bus where such a host is registered, else its
    // own XEmbed widget, which needs X11. Headless platforms have neither.
    enum class Road { None, XEmbed, StatusNotifierItem };

    // One call as the recorder sees it; Delete carries the tooltip the icon had.
    struct Call
    {
        Operation operation;
        QString tooltip;
        bool result;
    };
    using Recorder = std::function<void(const Call&)>;

    explicit SystemTray(QObject* parent = nullptr);
    ~SystemTray() override;

    bool Add(const QIcon& icon, const QString& tooltip);
    // A null icon keeps the current one.
    bool Modify(const QString& tooltip, const QIcon& icon = QIcon());
    bool Delete();

    static bool IsAvailable();

    Road CurrentRoad() const { return road_; }

    // The menu the notification area offers on the icon where it draws that menu itself (a
    // StatusNotifierItem host): the items of menu, the same actions, or none for nullptr. On
    // the other roads the host draws no menu, and this does nothing.
    void SetHostMenu(QMenu* menu);

    bool IsShown() const;
    QString Tooltip() const;

    // Test hooks: every later Add, Modify and Delete of any instance goes to the recorder
    // (an empty one stops recording); the availability override stands in for the
    // system's answer (nullopt restores it); an injected message is delivered at once,
    // as if the icon had produced it.
    static void SetRecorder(Recorder recorder);
    static void SetAvailabilityOverride(std::optional<bool> available);
    void InjectMouseMessage(int message);

    // The message an activation stands for where the host reports activations instead of
    // raw events, or 0 when it stands for none.
    static int MessageForActivation(QSystemTrayIcon::ActivationReason reason);

signals:
    void MouseMessage(int message);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The message a mouse event on the icon stands for, or 0 when it stands for none.
    static int MessageForEvent(const QEvent* event);
    static bool IsHeadless();
    void AttachToTrayWidget();
    void Activated(QSystemTrayIcon::ActivationReason reason);
    void PostMessage(int message);
    void Record(Operation operation, bool result) const;

    QSystemTrayIcon icon_;
    // Exported before the icon is first shown, so hosts learn of it when the icon registers;
    // emptied rather than withdrawn, since hosts read the menu's path only then.
    QMenu hostMenu_;
    QPointer<QMenu> offered_;
    Road road_ = Road::None;
    QPointer<QWidget> trayWidget_;
    bool added_ = false;
    int attachRetries_ = 0;
};
