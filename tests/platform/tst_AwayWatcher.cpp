#include "ManualClock.h"

#include "platform/AwayWatcher.h"
#include "platform/Regional.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QtTest>

#include <memory>
#include <vector>

// The watcher against stand-ins for logind, GNOME's idle monitor and the screen saver service on
// private buses, with a clock that moves only when told.
class tst_AwayWatcher : public QObject
{
    Q_OBJECT

    std::vector<std::unique_ptr<QProcess>> buses;

    bool startBus(const char* variable)
    {
        auto& bus = buses.emplace_back(std::make_unique<QProcess>());
        bus->start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        return bus->waitForReadyRead(5000) && qputenv(variable, bus->readLine().trimmed());
    }

    // The stand-in sends the signal on its bus before it answers there, so that once the answer
    // is in, handling the pending events handles the signal.
    static void Do(const QString& command)
    {
        const bool login = QStringList{"sleep", "wake", "lock", "unlock", "locked", "unlocked"}.contains(command);
        auto call = QDBusMessage::createMethodCall("io.github.tallyclock.StandIn", "/", "", "Do");
        call << command;
        const QDBusMessage reply = (login ? QDBusConnection::systemBus() : QDBusConnection::sessionBus()).call(call);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        // Only the stand-ins may answer: no display server's idle time.
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        QVERIFY(startBus("DBUS_SESSION_BUS_ADDRESS") && startBus("DBUS_SYSTEM_BUS_ADDRESS"));
        // A new connection hands on messages once the event loop has run.
        QVERIFY(QDBusConnection::sessionBus().isConnected() && QDBusConnection::systemBus().isConnected());
        QCoreApplication::processEvents();
    }

    // A script of steps with a threshold of 300 s: start, stop, check (the timer's look), +N (N
    // seconds pass), zN (the machine sleeps N seconds), or a command to the stand-ins. Each
    // absence reported is given as its first and last second after the start.
    void absences_data()
    {
        QTest::addColumn<QString>("services");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("absences");
        QTest::newRow("GNOME idle until input") << "mutter" << "start +400 idle=300000 +200 active" << "100-600";
        QTest::newRow("KDE idle, polled") << "screensaver" << "start +400 idle=300000 check +200 idle=5000 check"
                                          << "100-400";
        QTest::newRow("idle not yet at a check") << "screensaver" << "start +400 idle=299000 check +200 active check"
                                                 << "";
        QTest::newRow("logind sleep") << "login1" << "start +100 sleep z3600 wake" << "100-3700";
        QTest::newRow("sleep seen by the clocks") << "" << "start +100 z3600 +10 check" << "110-3710";
        QTest::newRow("lock after idle") << "login1 mutter" << "start +400 idle=120000 lock +600 unlock"
                                         << "280-1000";
        QTest::newRow("input while locked") << "login1 mutter"
                                            << "start +400 idle=300000 lock +100 active +500 unlock" << "100-1000";
        QTest::newRow("LockedHint") << "login1" << "start +100 locked +400 unlocked" << "100-500";
        QTest::newRow("screen saver") << "screensaver" << "start +100 saver1 +400 saver0" << "100-500";
        QTest::newRow("shorter than the threshold") << "login1" << "start +100 lock +200 unlock" << "";
        QTest::newRow("after the timing ended") << "login1" << "start +10 stop +100 lock +600 unlock" << "";
        QTest::newRow("two in a row") << "login1" << "start +100 lock +400 unlock +100 sleep z500 wake"
                                      << "100-500 600-1100";
    }
    void absences()
    {
        QFETCH(QString, services);
        QFETCH(QString, script);
        QFETCH(QString, absences);
        QProcess standIn;
        standIn.start(AWAY_STANDIN, services.split(' ', Qt::SkipEmptyParts));
        QVERIFY(standIn.waitForReadyRead(5000));
        const auto end = qScopeGuard([&] {
            standIn.terminate();
            standIn.waitForFinished();
        });
        const QDateTime begin(QDate(2026, 12, 7), QTime(9, 0));
        ManualClock clock(begin);
        AwayWatcher watcher;
        QStringList seen;
        connect(&watcher, &AwayWatcher::AbsenceEnded, this, [&](double from, double to) {
            const double start = MomentFromDateTime(begin.date(), begin.time());
            seen << QString("%1-%2").arg(qRound((from - start) * 86400)).arg(qRound((to - start) * 86400));
        });
        for (const QString& step : script.split(' ')) {
            if (step == "start")
                watcher.Start(300000);
            else if (step == "stop")
                watcher.Stop();
            else if (step == "check")
                watcher.Check();
            else if (step.startsWith('+'))
                clock.Advance(step.mid(1).toLongLong() * 1000);
            else if (step.startsWith('z'))
                clock.Sleep(step.mid(1).toLongLong() * 1000);
            else
                Do(step);
        }
        QCOMPARE(seen.join(' '), absences);
    }
};

QTEST_GUILESS_MAIN(tst_AwayWatcher)
#include "tst_AwayWatcher.moc"
