#include "platform/ProgramIcon.h"
#include "platform/SystemTray.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

// Stands in for Qt's XEmbed tray widget, which the offscreen platform never creates; the
// tray finds it by class name, as it finds the real one.
class QSystemTrayIconSys : public QWidget
{
    Q_OBJECT
};

static void sendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(4, 4), QPointF(4, 4), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

class tst_SystemTray : public QObject
{
    Q_OBJECT

private slots:
    // The receiver of 517 may open a modal menu and remove the icon, which deletes Qt's
    // widget: the messages must come from the event loop, after the widget's event.
    void trayWidgetEventsArriveLaterAndInOrder()
    {
        auto widget = std::make_unique<QSystemTrayIconSys>();
        SystemTray tray;
        QList<int> messages;
        connect(&tray, &SystemTray::MouseMessage, this, [&](int message) {
            messages << message;
            if (message == SystemTray::RightButtonUp)
                widget.reset();
        });
        tray.Add(ProgramIcon(), "Tallyclock");

        // A move, then a click and a double-click of each button, as Qt delivers them.
        sendMouse(widget.get(), QEvent::MouseMove, Qt::NoButton);
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
            for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                      QEvent::MouseButtonRelease})
                sendMouse(widget.get(), type, button);
        QVERIFY(messages.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(messages, (QList<int>{512, 513, 514, 515, 514, 516, 517, 518, 517}));
        QVERIFY(!widget);

        // A tray host that restarts gets a new widget from Qt; the next change finds it. Once
        // the icon is removed, that widget speaks no more for it.
        widget = std::make_unique<QSystemTrayIconSys>();
        messages.clear();
        tray.Modify("Tallyclock - Idle");
        sendMouse(widget.get(), QEvent::MouseButtonPress, Qt::RightButton);
        tray.Delete();
        sendMouse(widget.get(), QEvent::MouseButtonPress, Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(messages, QList<int>{516});
    }

    // The built-in icon (no icon theme here) is a drawing: a large size is not scaled up from a
    // small picture.
    void iconIsDrawnAtAnySize()
    {
        QIcon::setThemeSearchPaths({});
        QCOMPARE(ProgramIcon().pixmap(QSize(128, 128)).size(), QSize(128, 128));
    }
};

QTEST_MAIN(tst_SystemTray)
#include "tst_SystemTray.moc"
