#include "TestDb.h"

#include "modules/modGlobal.h"
#include "platform/AppError.h"
#include "platform/AppId.h"
#include "platform/DataFolder.h"
#include "platform/SingleInstance.h"

#include <QtTest>

#include <memory>

#include <sys/stat.h>

// Where the database lives, its daily backups, and the real program copied into a temporary
// folder and run as a process: its options without a display, and one running copy per database.
class tst_Startup : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString bin, run;

    // The copy started as a user starts it, its XDG folders here; the window offscreen.
    std::unique_ptr<QProcess> start(const QStringList& arguments = {}) const
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", tmp->filePath("data"));
        env.insert("XDG_CONFIG_HOME", tmp->filePath("config"));
        env.insert("XDG_RUNTIME_DIR", run);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        if (arguments.isEmpty())
            env.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(env);
        process->start(bin + "/tallyclock", arguments);
        return process;
    }
    QStringList files(const QString& folder) const
    {
        const auto all = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
        return QDir(tmp->filePath(folder)).entryList(all);
    }
    // An empty file, its folder made as needed.
    static bool touch(const QString& path)
    {
        return QDir().mkpath(QFileInfo(path).path()) && QFile(path).open(QIODevice::WriteOnly);
    }

private slots:
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        bin = tmp->filePath("bin");
        run = tmp->filePath("run");
        QVERIFY(QDir().mkpath(bin) && QDir().mkdir(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(QFile::copy(TALLYCLOCK_PROGRAM, bin + "/tallyclock"));
        qputenv("XDG_DATA_HOME", tmp->filePath("data").toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", run.toLocal8Bit());
    }

    void choice_data()
    {
        QTest::addColumn<QString>("beside"); // in the program's folder
        QTest::addColumn<QString>("dataHome"); // XDG_DATA_HOME
        QTest::addColumn<QString>("expected"); // the folder chosen, or the error
        QTest::newRow("portable") << "Tallyclock.mdb"
                                  << "data"
                                  << "bin";
        QTest::newRow("installed, its database untouched") << ""
                                                           << "data"
                                                           << "data/tallyclock";
        QTest::newRow("no folder") << ""
                                   << "bin/tallyclock"
                                   << "The folder \"%1/bin/tallyclock/tallyclock\" cannot be made: Not a directory.";
    }
    void choice()
    {
        QFETCH(QString, beside);
        QFETCH(QString, dataHome);
        QFETCH(QString, expected);
        if (!beside.isEmpty())
            MakeDatabase(bin);
        QVERIFY(touch(tmp->filePath("data/tallyclock/Tallyclock.mdb")));
        qputenv("XDG_DATA_HOME", tmp->filePath(dataHome).toLocal8Bit());
        try {
            QCOMPARE(OpenDataFolder(bin), tmp->filePath(expected));
            QCOMPARE(GetAppPath(), tmp->filePath(expected) + '/');
            QCOMPARE(QFileInfo(tmp->filePath("data/tallyclock/Tallyclock.mdb")).size(), 0);
        } catch (const AppError& e) {
            QCOMPARE(QString::fromUtf8(e.what()), expected.arg(tmp->path()));
        }
    }

    void backups_data()
    {
        QTest::addColumn<QStringList>("before"); // the days of the backups, and other files there
        QTest::addColumn<QStringList>("after"); // "new" marks today's copy
        QStringList week;
        for (int day = 0; day < 7; ++day)
            week << QDate(2026, 11, 30).addDays(day).toString(Qt::ISODate);
        QTest::newRow("first") << QStringList() << QStringList{"2026-12-07 new"};
        QTest::newRow("once a day") << QStringList{"2026-12-07"} << QStringList{"2026-12-07"};
        QTest::newRow("newest seven kept") << QStringList{"notes.txt"} + week
                                           << QStringList{"notes.txt"} + week.mid(1) + QStringList{"2026-12-07 new"};
        QTest::newRow("failing") << QStringList{"backups"} << QStringList();
    }
    void backups()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        const TempDatabase db;
        db.insertProject("Alpha");
        const QString backups = db.folder() + "backups/";
        const auto name = [](const QString& entry) {
            return entry.startsWith("20") ? "Tallyclock-" + entry.left(10) + ".mdb" : entry;
        };
        if (before == QStringList{"backups"}) {
            QFile(db.folder() + "backups").open(QIODevice::WriteOnly); // a file where the folder should be
            before.clear();
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Tallyclock: no backup of .*: .*backups"));
        }
        for (const QString& entry : before)
            QVERIFY(touch(backups + name(entry)));

        BackUpDatabase(db.folder().chopped(1), QDate(2026, 12, 7));

        QStringList kept;
        for (const QString& entry : after)
            kept << name(entry);
        QCOMPARE(QDir(backups).entryList(QDir::Files | QDir::Hidden), kept);
        // Those there before stay empty; today's is a copy.
        for (const QString& entry : after) {
            TempDatabase copy;
            QVERIFY(QFile::remove(copy.path()) && QFile::copy(backups + name(entry), copy.path()));
            QCOMPARE(QFileInfo(copy.path()).size() > 0, entry.endsWith(" new"));
            QVERIFY(!entry.endsWith(" new") || copy.scalar("SELECT Name FROM tblProject") == "Alpha");
        }
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("autostartBefore");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // standard output and error together; "." is not a line break
        QTest::addColumn<bool>("autostartAfter");
        QTest::newRow("help") << QStringList{"--help"} << false << 0 << "\n  --no-autostart " << false;
        QTest::newRow("version") << QStringList{"-v"} << false << 0 << "^tallyclock " TALLYCLOCK_VERSION "\n$" << false;
        QTest::newRow("autostart") << QStringList{"--autostart"} << false << 0 << "^Tallyclock will start .*: wrote "
                                   << true;
        QTest::newRow("no autostart") << QStringList{"--no-autostart"} << true << 0
                                      << "^Tallyclock will no longer .*: removed " << false;
        QTest::newRow("unknown option") << QStringList{"--autostart", "--bogus"} << false << 2
                                        << "^tallyclock: Unknown option 'bogus'.*\n$" << false;
        QTest::newRow("argument") << QStringList{"Tallyclock.mdb"} << true << 2
                                  << "^tallyclock: unexpected argument 'Tallyclock.mdb'.*\n$" << true;
    }
    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, autostartBefore);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(bool, autostartAfter);
        QFile autostart(tmp->filePath("config/autostart/") + kAppId + ".desktop");
        QVERIFY(!autostartBefore || touch(autostart.fileName()));

        const auto process = start(arguments);
        QVERIFY(process->waitForFinished(10000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), status);
        const QString said = process->readAllStandardOutput() + process->readAllStandardError();
        QVERIFY2(QRegularExpression(output).match(said).hasMatch(), qPrintable(said));
        QCOMPARE(autostart.exists(), autostartAfter);
        if (autostartAfter && !autostartBefore) {
            QVERIFY(autostart.open(QIODevice::ReadOnly));
            QVERIFY(autostart.readAll().contains(QByteArray("\nExec=tallyclock\nIcon=") + kAppId + '\n'));
        }
        // No window, and no data folder: nothing else is touched.
        QVERIFY(!QFileInfo::exists(tmp->filePath("data")));
    }

    // Two first starts at once make one database, for its owner only, and back it up; one copy
    // runs with it, the other hands over and goes.
    void firstStartsAtOnce()
    {
        const auto first = start(), second = start();
        const auto ended = [](const QProcess& p) { return p.state() == QProcess::NotRunning; };
        QTRY_VERIFY_WITH_TIMEOUT(ended(*first) || ended(*second), 10000);
        QProcess& gone = ended(*first) ? *first : *second;
        QProcess& running = &gone == first.get() ? *second : *first;
        QCOMPARE(gone.exitCode(), 0);
        QVERIFY(!running.waitForFinished(500));
        QCOMPARE(files("data/tallyclock"), QStringList({"backups", "Tallyclock.mdb"}));
        QCOMPARE(files("data/tallyclock/backups"),
                 {"Tallyclock-" + QDate::currentDate().toString(Qt::ISODate) + ".mdb"});
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(tmp->filePath("data/tallyclock")).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        running.kill();
        running.waitForFinished();
    }

    // A copy that crashed leaves its lock and socket; they do not block the next start, which a
    // later start over the same database then hands over to. Another database runs apart.
    void handOverAfterCrash()
    {
        MakeDatabase(bin);
        const auto crashed = start();
        QTRY_COMPARE_WITH_TIMEOUT(files("run").size(), 2, 10000);
        crashed->kill();
        QVERIFY(crashed->waitForFinished());

        SingleInstance running, other;
        QSignalSpy shown(&running, &SingleInstance::ShowRequested);
        QVERIFY(running.Claim(bin + "/Tallyclock.mdb"));
        QVERIFY(other.Claim(tmp->filePath("data/Tallyclock.mdb")));
        const auto later = start();
        QVERIFY(later->waitForFinished(10000));
        QCOMPARE(later->exitCode(), 0);
        QTRY_COMPARE(shown.count(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_Startup.moc"
