#include "platform/AppId.h"
#include "platform/DataFolder.h"
#include "platform/SingleInstance.h"

#include <QtTest>

#include <memory>

// The real program, copied into a temporary folder and run as a process: its options without a
// display, first starts at once, and the hand-over to a running copy.
class tst_Program : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString bin, run;

    // A copy of the program that starts as the user would start it, with its XDG folders here.
    std::unique_ptr<QProcess> start(const QStringList& arguments = {}) const
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", tmp->filePath("data"));
        env.insert("XDG_CONFIG_HOME", tmp->filePath("config"));
        env.insert("XDG_RUNTIME_DIR", run);
        // The options need no display at all; the window gets an offscreen one.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        if (arguments.isEmpty())
            env.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(env);
        process->start(bin + "/tallyclock", arguments);
        return process;
    }
    QStringList runtimeFiles() const { return QDir(run).entryList(QDir::Files | QDir::System | QDir::Hidden); }

private slots:
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        bin = tmp->filePath("bin");
        run = tmp->filePath("run");
        QVERIFY(QDir().mkpath(bin) && QDir().mkdir(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(QFile::copy(TALLYCLOCK_PROGRAM, bin + "/tallyclock"));
        qputenv("XDG_RUNTIME_DIR", run.toLocal8Bit());
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("autostartBefore");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // standard output and error together
        QTest::addColumn<bool>("autostartAfter");
        QTest::newRow("help") << QStringList{"--help"} << false << 0 << "--autostart .*--no-autostart " << false;
        QTest::newRow("version") << QStringList{"-v"} << false << 0 << "^tallyclock " TALLYCLOCK_VERSION "\n$" << false;
        QTest::newRow("autostart") << QStringList{"--autostart"} << false << 0 << "^Tallyclock will start when you log in: wrote .*\n$" << true;
        QTest::newRow("no autostart") << QStringList{"--no-autostart"} << true << 0 << "^Tallyclock will no longer .*: removed .*\n$" << false;
        QTest::newRow("unknown option") << QStringList{"--autostart", "--bogus"} << false << 2 << "^tallyclock: Unknown option 'bogus'.*\n$" << false;
        QTest::newRow("argument") << QStringList{"Tallyclock.mdb"} << true << 2 << "^tallyclock: unexpected argument 'Tallyclock.mdb'.*\n$" << true;
    }
    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, autostartBefore);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(bool, autostartAfter);
        const QString autostart = tmp->filePath("config/autostart/") + kAppId + ".desktop";
        if (autostartBefore)
            QVERIFY(QDir().mkpath(tmp->filePath("config/autostart")) && QFile(autostart).open(QIODevice::WriteOnly));

        const auto process = start(arguments);
        QVERIFY(process->waitForFinished(10000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), status);
        QVERIFY2(QRegularExpression(output, QRegularExpression::DotMatchesEverythingOption)
                     .match(process->readAllStandardOutput() + process->readAllStandardError())
                     .hasMatch(),
                 qPrintable(output));
        QCOMPARE(QFileInfo::exists(autostart), autostartAfter);
        // No window, and no data folder: the options touch nothing else.
        QVERIFY(!QFileInfo::exists(tmp->filePath("data")));
        if (autostartAfter && !autostartBefore) {
            QFile entry(autostart);
            QVERIFY(entry.open(QIODevice::ReadOnly));
            const QByteArray text = entry.readAll();
            QVERIFY(text.startsWith("[Desktop Entry]\n") && text.contains("\nExec=tallyclock\n")
                    && text.contains(QByteArray("\nIcon=") + kAppId + '\n'));
        }
    }

    // Two first starts at once make one database; one copy runs with it, the other hands over.
    void firstStartsAtOnce()
    {
        const auto first = start(), second = start();
        QVERIFY(first->waitForStarted() && second->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(first->state() == QProcess::NotRunning || second->state() == QProcess::NotRunning, 10000);
        QProcess& gone = first->state() == QProcess::NotRunning ? *first : *second;
        QProcess& running = &gone == first.get() ? *second : *first;
        QCOMPARE(gone.exitCode(), 0);
        QVERIFY(!running.waitForFinished(500));
        const QString user = tmp->filePath("data/tallyclock");
        QCOMPARE(QDir(user).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList({"backups", "Tallyclock.mdb"}));
        QCOMPARE(QDir(user + "/backups").entryList(QDir::Files), {"Tallyclock-" + QDate::currentDate().toString(Qt::ISODate) + ".mdb"});
        running.kill();
        running.waitForFinished();
    }

    // A copy that crashed leaves its lock and socket: they do not block the next start, which
    // a later start over the same database then hands over to. Another database is apart.
    void handOverAfterCrash()
    {
        MakeDatabase(bin);
        const auto crashed = start();
        QTRY_COMPARE_WITH_TIMEOUT(runtimeFiles().size(), 2, 10000);
        crashed->kill();
        QVERIFY(crashed->waitForFinished());
        QCOMPARE(runtimeFiles().size(), 2);

        SingleInstance running;
        QSignalSpy shown(&running, &SingleInstance::ShowRequested);
        QVERIFY(running.Claim(bin + "/Tallyclock.mdb"));
        SingleInstance other;
        QVERIFY(other.Claim(tmp->filePath("Tallyclock.mdb")));
        const auto later = start();
        QVERIFY(later->waitForFinished(10000));
        QCOMPARE(later->exitCode(), 0);
        QTRY_COMPARE(shown.count(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_Program.moc"
