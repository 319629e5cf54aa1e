#include "FormFixture.h"
#include "ModalAnswers.h"
#include "TestDb.h"

#include "forms/frmMain.h"
#include "modules/modGeneral.h"
#include "platform/Regional.h"
#include "platform/SystemTray.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QThread>
#include <QtTest>

// The program's icon as a StatusNotifierItem, seen over D-Bus by a stand-in for the desktop's
// watcher and host on a private session bus (the test runs under its own bus and X server).

namespace {

constexpr auto kItem = "org.kde.StatusNotifierItem";
constexpr auto kMenu = "com.canonical.dbusmenu";

// Qt asks the watcher whether a host is registered before it takes the D-Bus road, and then
// registers its item there. It calls from the main thread and waits, so the watcher answers
// from a thread and connection of its own.
class Watcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)

public:
    bool IsStatusNotifierHostRegistered() const { return true; }
    int ProtocolVersion() const { return 0; }
    QStringList RegisteredStatusNotifierItems() const
    {
        QMutexLocker lock(&mutex);
        return items;
    }

public slots:
    // The item answers at the sender's connection, whatever service name it gives.
    void RegisterStatusNotifierItem(const QString& /*service*/, const QDBusMessage& message)
    {
        QMutexLocker lock(&mutex);
        items << message.service();
    }
    void RegisterStatusNotifierHost(const QString& /*service*/) { }

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    mutable QMutex mutex;
    QStringList items;
};

// One item of the exported menu as a host draws it.
struct MenuItem
{
    int id;
    QString text; // the label, "-" for a separator, "(disabled)" after a disabled label
};

} // namespace

class tst_StatusNotifierHost : public QObject
{
    Q_OBJECT

    QThread watcherThread;
    Watcher* watcher = nullptr;
    QDBusConnection host = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "host");
    std::unique_ptr<TempDatabase> db;
    const QString beside = GetAppPath() + "Tallyclock.mdb";
    QString service;

    // The item lives on the program's thread: call it without blocking that thread.
    QDBusMessage call(const QString& path, const char* interface, const char* method, const QVariantList& args = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(args);
        QDBusPendingCall pending = host.asyncCall(message);
        QElapsedTimer waited;
        waited.start();
        while (!pending.isFinished() && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return pending.reply();
    }

    QDBusArgument property(const char* name)
    {
        const QDBusMessage reply = call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get", {kItem, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>();
    }

    QString menuPath()
    {
        const QDBusMessage reply = call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                                        {kItem, "Menu"});
        return reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
    }

    // The tooltip is a structure (icon name, images, title, text); the title carries the tip.
    QString tooltip()
    {
        const QDBusArgument tip = property("ToolTip");
        QString icon, title, text;
        tip.beginStructure();
        tip >> icon;
        tip.beginArray();
        while (!tip.atEnd()) {
            int width = 0, height = 0;
            QByteArray pixels;
            tip.beginStructure();
            tip >> width >> height >> pixels;
            tip.endStructure();
        }
        tip.endArray();
        tip >> title >> text;
        tip.endStructure();
        return title;
    }

    // The top level of the exported menu, as a host reads it before drawing.
    QList<MenuItem> menu()
    {
        const QDBusMessage reply = call(menuPath(), kMenu, "GetLayout", {0, -1, QStringList()});
        const QDBusArgument layout = reply.arguments().value(1).value<QDBusArgument>();
        QList<MenuItem> items;
        int id = 0;
        QVariantMap properties;
        layout.beginStructure();
        layout >> id >> properties;
        layout.beginArray();
        while (!layout.atEnd()) {
            QDBusVariant child;
            layout >> child;
            const QDBusArgument item = child.variant().value<QDBusArgument>();
            QVariantList grandchildren;
            item.beginStructure();
            item >> id >> properties >> grandchildren;
            item.endStructure();
            QString text = properties.value("type").toString() == "separator" ? "-"
                                                                              : properties.value("label").toString();
            if (!properties.value("enabled", true).toBool())
                text += " (disabled)";
            items << MenuItem{id, text};
        }
        layout.endArray();
        layout.endStructure();
        return items;
    }

    QStringList menuTexts()
    {
        QStringList texts;
        for (const MenuItem& item : menu())
            texts << item.text;
        return texts;
    }

    // Clicks an item as a host does once the user chose it.
    void click(const QString& text)
    {
        for (const MenuItem& item : menu()) {
            if (item.text == text) {
                call(menuPath(), kMenu, "Event", {item.id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u});
                QCoreApplication::processEvents();
                return;
            }
        }
        QFAIL(qPrintable("no enabled item " + text));
    }

    // As the user does it: the window manager iconifies the window, the program then hides it.
    // A window the manager has not taken on yet ignores the request: asked again then.
    static void minimise()
    {
        QVERIFY(QTest::qWaitForWindowExposed(&frmMain()));
        for (int attempt = 0; attempt < 5; ++attempt) {
            QCOMPARE(QProcess::execute("xdotool", {"windowminimize", QString::number(frmMain().winId())}), 0);
            if (QTest::qWaitFor([] { return frmMain().isHidden(); }, 1000))
                break;
        }
        QVERIFY(frmMain().isHidden());
    }

private slots:
    void initTestCase()
    {
        watcher = new Watcher;
        watcher->moveToThread(&watcherThread);
        connect(&watcherThread, &QThread::finished, watcher, &QObject::deleteLater);
        watcherThread.start();
        bool registered = false;
        QMetaObject::invokeMethod(
            watcher,
            [this, &registered] {
                QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watcher");
                registered = bus.registerObject("/StatusNotifierWatcher", watcher,
                                                QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties
                                                    | QDBusConnection::ExportAllSignals)
                    && bus.registerService("org.kde.StatusNotifierWatcher");
            },
            Qt::BlockingQueuedConnection);
        QVERIFY(registered);

        QLocale::setDefault(QLocale("en_US"));
        db = std::make_unique<TempDatabase>();
        db->insertProject("Alpha");
        QFile::remove(beside);
        QVERIFY(QFile::link(db->path(), beside));
        frmMain().Form_Load();
        QCOMPARE(frmMain().findChild<SystemTray*>()->CurrentRoad(), SystemTray::Road::StatusNotifierItem);
        QTRY_COMPARE(watcher->RegisteredStatusNotifierItems().size(), 1);
        service = watcher->RegisteredStatusNotifierItems().constFirst();
    }

    void cleanupTestCase()
    {
        UnloadWindows();
        QFile::remove(beside);
        watcherThread.quit();
        watcherThread.wait();
    }

    // Hosts draw the menu only while the popup menu may open: the window minimised and hidden.
    void menuOfferedWhileMinimised()
    {
        QCOMPARE(tooltip(), "Tallyclock");
        const QDBusArgument icon = property("IconPixmap");
        int width = 0, height = 0;
        QByteArray pixels;
        icon.beginArray();
        icon.beginStructure();
        icon >> width >> height >> pixels;
        QVERIFY(width >= 16 && pixels.size() == width * height * 4);

        QVERIFY(menuTexts().isEmpty());
        minimise();
        QCOMPARE(menuTexts(), QStringList({"View Projects", "-", "Start Timer", "End Timer (disabled)", "-", "Quit"}));
        click("View Projects");
        QTRY_VERIFY(frmMain().isVisible() && !frmMain().isMinimized());
        QVERIFY(menuTexts().isEmpty());
    }

    // The host's clicks run the program's own handlers, and the items follow their states.
    void menuRunsTheTimer()
    {
        minimise();
        click("Start Timer");
        QCOMPARE(tooltip(), "Tallyclock - Timing since " + GeneralDateText(gStartTime));
        QCOMPARE(menuTexts(), QStringList({"View Projects", "-", "Start Timer (disabled)", "End Timer", "-", "Quit"}));
        click("End Timer");
        QCOMPARE(tooltip(), "Tallyclock - Idle");
        QCOMPARE(db->scalar("SELECT COUNT(*) FROM tblTimePeriod WHERE ProjectID=0").toInt(), 1);
        QCOMPARE(menuTexts().at(2), "Start Timer");
    }

    // Hosts that ask the item for its menu (ContextMenu) get the popup menu, only while the
    // window is hidden; a left click (Activate) opens nothing.
    void contextMenuAndActivate()
    {
        frmMain().mnuViewProjects_Click();
        ModalAnswers answers;
        answers.then(ModalAnswers::choose("mnuViewProjects"));
        call("/StatusNotifierItem", kItem, "Activate", {10, 10});
        call("/StatusNotifierItem", kItem, "ContextMenu", {10, 10});
        QTest::qWait(200);
        QVERIFY(answers.seen.isEmpty());
        minimise();
        call("/StatusNotifierItem", kItem, "Activate", {10, 10});
        QTest::qWait(200);
        QVERIFY(answers.seen.isEmpty());
        call("/StatusNotifierItem", kItem, "ContextMenu", {10, 10});
        QTRY_COMPARE(answers.seen, QStringList{"mnuPopup"});
        QTRY_VERIFY(frmMain().isVisible());
        QVERIFY(answers.finished());
    }
};

QTEST_MAIN(tst_StatusNotifierHost)
#include "tst_StatusNotifierHost.moc"
