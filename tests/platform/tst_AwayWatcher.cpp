#include "ManualClock.h"

#include "platform/AwayWatcher.h"
#include "TestDb.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QtTest>

// The watcher against stand-ins for logind, GNOME's idle monitor and the screen saver service on
// buses of its own, with a clock that moves only when told.
class tst_AwayWatcher : public QObject
{
    Q_OBJECT

    QProcess buses[2];

    // The stand-in signals on its bus before it answers there: once the answer is in, handling
    // the pending events handles the signal.
    static void Do(const QString& command)
    {
        const bool login = !command.startsWith("idle") && !command.startsWith("saver") && command != "active";
        auto call = QDBusMessage::createMethodCall("io.github.tallyclock.StandIn", "/", "", "Do") << command;
        QCOMPARE((login ? QDBusConnection::systemBus() : QDBusConnection::sessionBus()).call(call).type(),
                 QDBusMessage::ReplyMessage);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        // Only the stand-ins may answer, and KWin under on_kwin.sh: no X server's idle time.
        qunsetenv("DISPLAY");
        qputenv("WAYLAND_DISPLAY", qgetenv("KWIN_WAYLAND_DISPLAY"));
        for (const char* bus : {"DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS"}) {
            QProcess& daemon = buses[qstrcmp(bus, "DBUS_SYSTEM_BUS_ADDRESS") == 0];
            daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
            QVERIFY(daemon.waitForReadyRead(5000) && qputenv(bus, daemon.readLine().trimmed()));
        }
        // A new connection hands on messages once the event loop has run.
        QVERIFY(QDBusConnection::sessionBus().isConnected() && QDBusConnection::systemBus().isConnected());
        QCoreApplication::processEvents();
    }

    // Steps with a threshold of 300 s: start (startN: of N s), stop, check (the timer's look), +N
    // (N seconds pass), zN (the machine sleeps N seconds), ~N (N real seconds pass), input (to
    // KWin), or a command to the stand-ins. Each absence is given by
    // its first and last second after the start.
    void absences_data()
    {
        QTest::addColumn<QString>("services");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("absences");
        const auto row = [](const char* tag, const char* services, const char* steps, const char* absences) {
            QTest::newRow(tag) << QString(services) << QString(steps) << QString(absences);
        };
        row("GNOME idle", "mutter", "start +200 idle=300000 +200 active", "0-400");
        row("KDE idle", "screensaver", "start +400 idle=300000 check +200 idle=5000 check", "100-400");
        row("logind sleep", "login1", "start +100 sleep +5 z3600 wake", "100-3705");
        row("clocks' sleep", "", "start +100 z3600 +10 check", "110-3710");
        row("lock when idle", "login1 mutter", "start +400 idle=120000 lock +600 unlock", "280-1000");
        row("input locked", "login1 mutter", "start +400 idle=300000 lock +100 active +500 unlock", "100-1000");
        row("LockedHint", "login1", "start +100 locked +400 unlocked", "100-500");
        row("screen saver", "screensaver", "start +100 saver1 +400 saver0", "100-500");
        row("too short", "login1", "start +100 lock +200 unlock", "");
        row("not timing", "login1", "start +10 stop +100 lock +600 unlock", "");
        row("Wayland idle", "kwin", "start2 ~3 +10 input ~1", "0-10");
        row("two", "login1", "start +100 lock +400 unlock +100 sleep z500 wake", "100-500 600-1100");
    }
    void absences()
    {
        QFETCH(QString, services);
        QFETCH(QString, steps);
        QFETCH(QString, absences);
        // The compositor's idle notifications come from a real KWin, under on_kwin.sh.
        if (services == "kwin" && qEnvironmentVariableIsEmpty("KWIN_BUS"))
            QSKIP("no KWin to notify of idle time");
        QProcess standIn;
        standIn.start(AWAY_STANDIN, services.split(' ', Qt::SkipEmptyParts));
        QVERIFY(standIn.waitForReadyRead(5000));
        ManualClock clock(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
        const double nine = At(2026, 12, 7, 9);
        AwayWatcher watcher;
        QStringList seen;
        connect(&watcher, &AwayWatcher::AbsenceEnded, this, [&](double from, double to) {
            seen << QString("%1-%2").arg(qRound((from - nine) * 86400)).arg(qRound((to - nine) * 86400));
        });
        for (const QString& step : steps.split(' ')) {
            const qint64 ms = step.mid(1).toLongLong() * 1000;
            if (step.startsWith("start"))
                watcher.Start(step == "start" ? 300000 : step.mid(5).toLongLong() * 1000);
            else if (step == "stop")
                watcher.Stop();
            else if (step == "check")
                watcher.Check();
            else if (step[0] == '+')
                clock.Advance(ms);
            else if (step[0] == 'z')
                clock.Sleep(ms);
            else if (step[0] == '~')
                QTest::qWait(int(ms));
            else if (step == "input")
                QProcess::execute("dbus-send",
                                  {"--type=method_call", "--bus=" + qEnvironmentVariable("KWIN_BUS"),
                                   "--dest=org.freedesktop.ScreenSaver", "/ScreenSaver",
                                   "org.freedesktop.ScreenSaver.SimulateUserActivity"});
            else
                Do(step);
        }
        QCOMPARE(seen.join(' '), absences);
        standIn.terminate();
        QVERIFY(standIn.waitForFinished());
    }
};

QTEST_GUILESS_MAIN(tst_AwayWatcher)
#include "tst_AwayWatcher.moc"
