#include "FormFixture.h"
#include "ModalAnswers.h"
#include "TestDb.h"

#include "forms/frmMain.h"
#include "platform/SystemTray.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QtTest>

// The program's icon as a StatusNotifierItem, seen over D-Bus by a stand-in for the desktop's
// watcher and host on a private session bus (the test runs under its own bus and X server).
// The real panel's road through the exported menu is the end-to-end test's; here are the
// item's states and calls that it does not reach.

namespace {

constexpr auto kItem = "org.kde.StatusNotifierItem";

// Qt asks the watcher whether a host is registered before it takes the D-Bus road, and then
// registers its item there. It calls from the main thread and waits, so the watcher answers
// from a thread and connection of its own.
class Watcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)

public:
    bool IsStatusNotifierHostRegistered() const { return true; }

public slots:
    // The item answers at the sender's connection, whatever service name it gives.
    void RegisterStatusNotifierItem(const QString& /*service*/, const QDBusMessage& message)
    {
        emit itemRegistered(message.service());
    }

signals:
    void itemRegistered(const QString& service);
};

} // namespace

class tst_StatusNotifierHost : public QObject
{
    Q_OBJECT

    QThread watcherThread;
    QDBusConnection host = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "host");
    std::unique_ptr<TempDatabase> db;
    const QString beside = GetAppPath() + "Tallyclock.mdb";
    QString service;

    // The item lives on the program's thread: call it without blocking that thread.
    QDBusMessage call(const QString& path, const QString& interface, const char* method, const QVariantList& args)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(args);
        QDBusPendingCall pending = host.asyncCall(message);
        // Unanswered, the reply is an error that the caller's checks show.
        static_cast<void>(QTest::qWaitFor([&pending] { return pending.isFinished(); }, 5000));
        return pending.reply();
    }

    // The top level of the exported menu as a host reads it before drawing: each item's label,
    // "-" for a separator, with " (disabled)" after a disabled one.
    QStringList menu()
    {
        const QDBusMessage menuPath = call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                                           {kItem, "Menu"});
        const QString path =
            menuPath.arguments().value(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
        const QDBusMessage reply = call(path, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
        const QDBusArgument layout = reply.arguments().value(1).value<QDBusArgument>();
        QStringList items;
        int id = 0;
        QVariantMap properties;
        QVariantList children;
        layout.beginStructure();
        layout >> id >> properties;
        layout.beginArray();
        while (!layout.atEnd()) {
            const QDBusArgument item = qdbus_cast<QDBusVariant>(layout).variant().value<QDBusArgument>();
            item.beginStructure();
            item >> id >> properties >> children;
            item.endStructure();
            const bool separator = properties.value("type").toString() == "separator";
            items << (separator ? "-" : properties.value("label").toString())
                    + (properties.value("enabled", true).toBool() ? "" : " (disabled)");
        }
        return items;
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
        auto* watcher = new Watcher;
        watcher->moveToThread(&watcherThread);
        connect(&watcherThread, &QThread::finished, watcher, &QObject::deleteLater);
        connect(watcher, &Watcher::itemRegistered, this, [this](const QString& item) { service = item; });
        watcherThread.start();
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watcher");
        const auto exported = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties;
        QVERIFY(bus.registerObject("/StatusNotifierWatcher", watcher, exported));
        QVERIFY(bus.registerService("org.kde.StatusNotifierWatcher"));

        db = std::make_unique<TempDatabase>();
        QFile::remove(beside);
        QVERIFY(QFile::link(db->path(), beside));
        frmMain().Form_Load();
        QCOMPARE(frmMain().findChild<SystemTray*>()->CurrentRoad(), SystemTray::Road::StatusNotifierItem);
        QTRY_VERIFY(!service.isEmpty());
    }

    void cleanupTestCase()
    {
        UnloadWindows();
        QFile::remove(beside);
        watcherThread.quit();
        watcherThread.wait();
    }

    // Hosts draw the menu only while the popup menu may open, the window hidden (whatever state
    // the window reports), and its items follow the timer.
    void menuOfferedWhileHidden()
    {
        QVERIFY(menu().isEmpty());
        minimise();
        QCOMPARE(menu(), QStringList({"View Projects", "-", "Start Timer", "End Timer (disabled)", "-", "Quit"}));
        frmMain().setWindowState(Qt::WindowNoState); // as X may report it, no longer minimised
        frmMain().mnuStartTimer->trigger();
        QCOMPARE(menu(), QStringList({"View Projects", "-", "Start Timer (disabled)", "End Timer", "-", "Quit"}));
        frmMain().mnuViewProjects->trigger();
        QVERIFY(menu().isEmpty());
    }

    // Hosts that ask the item for its menu (ContextMenu) get the popup menu while the window is
    // hidden; a left click (Activate) opens nothing.
    void contextMenuAndActivate()
    {
        minimise();
        ModalAnswers answers;
        answers.then(ModalAnswers::choose("mnuViewProjects"));
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
