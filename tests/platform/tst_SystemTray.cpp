#include "platform/SystemTray.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

// Stands in for Qt's XEmbed tray widget, which the offscreen platform never creates; the
// tray finds it by class name, as it finds the real one.
class QSystemTrayIconSys : public QWidget
{
    Q_OBJECT
};

namespace {

QIcon clockIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::darkBlue);
    return QIcon(pixmap);
}

void sendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button)
{
    const QPointF pos(4, 4);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, pos, pos, button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

std::vector<int> messages(const QSignalSpy& spy)
{
    std::vector<int> result;
    for (const QList<QVariant>& arguments : spy)
        result.push_back(arguments.at(0).toInt());
    return result;
}

} // namespace

class tst_SystemTray : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        SystemTray::SetRecorder({});
        SystemTray::SetAvailabilityOverride(std::nullopt);
    }

    void mapsActivationsWhereNoRawEvents_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<int>("message");
        QTest::newRow("context is the right release") << int(QSystemTrayIcon::Context) << 517;
        QTest::newRow("trigger") << int(QSystemTrayIcon::Trigger) << 514;
        QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << 515;
        QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << 0;
    }

    void mapsActivationsWhereNoRawEvents()
    {
        QFETCH(int, reason);
        QFETCH(int, message);
        QCOMPARE(SystemTray::MessageForActivation(QSystemTrayIcon::ActivationReason(reason)), message);
    }

    // Offscreen has no notification area; the override stands in for one that exists.
    void recordsEveryCall_data()
    {
        QTest::addColumn<int>("override");
        QTest::newRow("system's answer") << -1;
        QTest::newRow("area present") << 1;
        QTest::newRow("area absent") << 0;
    }

    void recordsEveryCall()
    {
        QFETCH(int, override);
        if (override >= 0)
            SystemTray::SetAvailabilityOverride(override == 1);
        const bool shown = SystemTray::IsAvailable();
        QStringList recorded;
        SystemTray::SetRecorder([&recorded](const SystemTray::Call& call) {
            static const char* const names[] = {"Add", "Modify", "Delete"};
            recorded << QString("%1 %2 %3").arg(names[int(call.operation)], call.tooltip).arg(int(call.result));
        });

        SystemTray tray;
        QCOMPARE(tray.Modify("early"), false);
        QCOMPARE(tray.Add(clockIcon(), "Tallyclock"), shown);
        QCOMPARE(tray.IsShown(), shown);
        QCOMPARE(tray.Modify("Tallyclock - Timing since 06/12/2026 10:15:00"), shown);
        QCOMPARE(tray.Modify("Tallyclock - Idle"), shown);
        QCOMPARE(tray.Tooltip(), QString("Tallyclock - Idle"));
        QCOMPARE(tray.Delete(), shown);
        QCOMPARE(tray.Delete(), false);
        QCOMPARE(tray.IsShown(), false);

        const QString s = shown ? "1" : "0";
        QCOMPARE(recorded, QStringList({"Modify early 0", "Add Tallyclock " + s,
                                        "Modify Tallyclock - Timing since 06/12/2026 10:15:00 " + s,
                                        "Modify Tallyclock - Idle " + s, "Delete Tallyclock - Idle " + s,
                                        "Delete Tallyclock - Idle 0"}));
    }

    void injectedMessageArrivesAtOnce()
    {
        SystemTray tray;
        QSignalSpy spy(&tray, &SystemTray::mouseMessage);
        tray.InjectMouseMessage(SystemTray::RightButtonUp);
        QCOMPARE(messages(spy), std::vector<int>{517});
    }

    // The receiver of 517 may open a modal menu and remove the icon, which deletes Qt's
    // widget: the messages must come from the event loop, after the widget's event.
    void trayWidgetEventsArriveLaterAndInOrder()
    {
        auto widget = std::make_unique<QSystemTrayIconSys>();
        SystemTray tray;
        QSignalSpy spy(&tray, &SystemTray::mouseMessage);
        connect(&tray, &SystemTray::mouseMessage, this, [&widget](int message) {
            if (message == SystemTray::RightButtonUp)
                widget.reset();
        });
        tray.Add(clockIcon(), "Tallyclock");

        // A move, a left and a right double-click (as Qt delivers them), a middle click.
        using E = QEvent;
        const std::pair<QEvent::Type, Qt::MouseButton> events[] = {
            {E::MouseMove, Qt::NoButton},
            {E::MouseButtonPress, Qt::LeftButton}, {E::MouseButtonRelease, Qt::LeftButton},
            {E::MouseButtonDblClick, Qt::LeftButton}, {E::MouseButtonRelease, Qt::LeftButton},
            {E::MouseButtonPress, Qt::RightButton}, {E::MouseButtonRelease, Qt::RightButton},
            {E::MouseButtonDblClick, Qt::RightButton}, {E::MouseButtonRelease, Qt::RightButton},
            {E::MouseButtonPress, Qt::MiddleButton}, {E::MouseButtonRelease, Qt::MiddleButton}};
        for (const auto& [type, button] : events)
            sendMouse(widget.get(), type, button);
        QCOMPARE(spy.count(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(messages(spy), (std::vector<int>{512, 513, 514, 515, 514, 516, 517, 518, 517}));
        QVERIFY(!widget);

        // A tray host that restarts gets a new widget from Qt; the next change finds it.
        widget = std::make_unique<QSystemTrayIconSys>();
        spy.clear();
        tray.Modify("Tallyclock - Idle");
        sendMouse(widget.get(), QEvent::MouseButtonPress, Qt::RightButton);
        QCoreApplication::processEvents();
        QCOMPARE(messages(spy), std::vector<int>{516});

        // Once the icon is removed its widget speaks no more for it.
        tray.Delete();
        sendMouse(widget.get(), QEvent::MouseButtonPress, Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(messages(spy), std::vector<int>{516});
    }
};

QTEST_MAIN(tst_SystemTray)
#include "tst_SystemTray.moc"
