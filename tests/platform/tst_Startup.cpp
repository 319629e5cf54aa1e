#include "Files.h"
#include "TestDb.h"

#include "modules/modGlobal.h"
#include "platform/AppError.h"
#include "platform/AppId.h"
#include "platform/DataFolder.h"
#include "platform/SingleInstance.h"

#include <QtTest>

#include <memory>

#include <sqlite3.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const QDate kToday(2026, 12, 7);
const QByteArray kUsersEntry = "[Desktop Entry]\nExec=tallyclock --user\n";
// The entry the program writes; %1 the program.
const QByteArray kEntry = "[Desktop Entry]\nType=Application\nName=Tallyclock\nExec=%1\nIcon=" + QByteArray(kAppId)
    + '\n';

// Sets an environment variable until the returned guard goes.
auto SetEnv(const char* name, const QString& value)
{
    const bool had = qEnvironmentVariableIsSet(name);
    const QByteArray old = qgetenv(name);
    qputenv(name, value.toLocal8Bit());
    return qScopeGuard([=] { had ? qputenv(name, old) : qunsetenv(name); });
}

// The backups of the days from `from` to `to` days before today, oldest first.
QStringList BackupsOfDaysAgo(int from, int to)
{
    QStringList names;
    for (int ago = from; ago >= to; --ago)
        names << "Tallyclock-" + kToday.addDays(-ago).toString(Qt::ISODate) + ".mdb";
    return names;
}

// The files of a folder (links too), in name order.
QStringList Listed(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// What today's backup in the folder holds.
QVariant InTodaysBackup(const QString& backups, const QString& sql)
{
    const TempDatabase copy;
    if (!QFile::remove(copy.path()) || !QFile::copy(backups + BackupsOfDaysAgo(0, 0)[0], copy.path()))
        return "no backup";
    return copy.scalar(sql);
}

} // namespace

// The database's daily backups, and the real program copied into a temporary folder and run
// as a process: its options without a display, and one running copy per database.
class tst_Startup : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString bin, run;

    // The copy started as a user starts it, its home and XDG folders here; by default its window
    // offscreen, by Qt's own option. With "full" no file it writes may grow past 40 bytes.
    std::unique_ptr<QProcess> start(const QStringList& arguments = {"-platform", "offscreen"},
                                    const QString& setup = {}) const
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", tmp->filePath("home"));
        env.insert("XDG_DATA_HOME", tmp->filePath("data"));
        env.insert("XDG_CONFIG_HOME", tmp->filePath("config"));
        env.insert("XDG_RUNTIME_DIR", run);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        process->setProcessEnvironment(env);
        if (setup == "full")
            process->setChildProcessModifier([] {
                const rlimit limit = {40, 40};
                ::setrlimit(RLIMIT_FSIZE, &limit);
                std::signal(SIGXFSZ, SIG_IGN);
            });
        process->start(bin + "/tallyclock", arguments);
        return process;
    }

private slots:
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        // A blank in the path, as a portable copy's folder may have.
        bin = tmp->filePath("my bin");
        run = tmp->filePath("run");
        QVERIFY(QDir().mkpath(bin) && QDir().mkdir(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(QFile::copy(TALLYCLOCK_PROGRAM, bin + "/tallyclock"));
    }

    // Today's backup is a copy of the database, made once. Of the backups dated today or before,
    // the newest seven stay; those dated later (the clock was once ahead), those named otherwise
    // and links stay too, and the later-dated ones are named once. A backup that cannot be made
    // goes through no link and over no good backups: one line on standard error says why, and
    // nothing else stops.
    void backups_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QStringList>("before"); // "@": a symbolic link
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("warning"); // a pattern; %1 the database's folder
        const QStringList others = {"@Tallyclock-2026-01-01.mdb", "notes.txt",
                                    "Tallyclock-2026-11-31.mdb",  "Tallyclock-2026-13-45.mdb",
                                    "Tallyclock-XXXX-XX-XX.mdb",  "tallyclock-2026-11-29.mdb"};
        const QStringList ahead = {"Tallyclock-2099-01-01.mdb", "Tallyclock-2099-01-02.mdb"};
        const QStringList week = BackupsOfDaysAgo(7, 1), newest = BackupsOfDaysAgo(6, 0);
        const QString none = "^Tallyclock: no backup of %1Tallyclock.mdb today: ";
        // clang-format off
        QTest::newRow("other files") << "" << others + week + QStringList{".Tallyclock-aB3xYz"} << others + newest << "";
        QTest::newRow("clock once ahead") << "" << ahead + week << ahead + newest << "after today .*: " + ahead.join(", ") + "$";
        QTest::newRow("file in the way") << "file" << week << week << none + "The folder \"%1backups\" cannot be made: Not a directory.$";
        QTest::newRow("link in the way") << "link" << week << week << none + "\"%1backups\" is a symbolic link, not a folder of the program's own.$";
        QTest::newRow("emptied database") << "empty" << week << week << none + "\"%1Tallyclock.mdb\" is not a Tallyclock database that can be read.$";
        QTest::newRow("locked database") << "locked" << week << week << none + "The database \"%1Tallyclock.mdb\" is locked by another program.$";
        // clang-format on
    }
    void backups()
    {
        QFETCH(QString, damage);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(QString, warning);
        const TempDatabase db;
        db.insertProject("Alpha");
        // The old backups, elsewhere when something is in the way of the backups folder.
        const QString kept = db.folder() + (damage == "file" || damage == "link" ? "elsewhere/" : "backups/");
        QVERIFY(Write(db.folder() + "linked") && QDir().mkpath(kept));
        for (const QString& name : before)
            QVERIFY(name[0] == '@' ? QFile::link(db.folder() + "linked", kept + name.mid(1)) : Write(kept + name));
        QVERIFY(damage != "file" || Write(db.folder() + "backups"));
        QVERIFY(damage != "link" || QFile::link(kept, db.folder() + "backups"));
        QVERIFY(damage != "empty" || QFile::resize(db.path(), 0));
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(db.path().toUtf8().constData(), &other), SQLITE_OK);
        const auto close = qScopeGuard([other] { sqlite3_close(other); });
        QVERIFY(damage != "locked" || sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK);

        QTest::failOnWarning(QRegularExpression("."));
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(warning.replace("%1", QRegularExpression::escape(db.folder()))));
        BackUpDatabase(db.folder().chopped(1), kToday);
        // A later start the same day keeps the first backup, without a word.
        if (damage.isEmpty())
            BackUpDatabase(db.folder().chopped(1), kToday);
        after.replaceInStrings(QRegularExpression("^@"), "").sort();
        QCOMPARE(Listed(kept), after);
        if (damage.isEmpty())
            QCOMPARE(InTodaysBackup(kept, "SELECT Name FROM tblProject"), "Alpha");
    }

    // The copy goes in steps, between which the program writes without waiting; the copy then
    // holds that write.
    void backupLetsTheProgramWrite()
    {
        const TempDatabase db;
        db.exec("INSERT INTO tblProject(Name, Description) VALUES('Big', printf('%.*c', 3000000, 'x'))");
        int steps = 0;
        BackUpDatabase(db.folder().chopped(1), kToday, [&steps] {
            if (++steps == 2)
                AddProjectRecord("Meanwhile", "");
            return true;
        });
        QCOMPARE(InTodaysBackup(db.folder() + "backups/", "SELECT group_concat(Name) FROM tblProject"),
                 "Big,Meanwhile");
    }

    // The XDG rule: a base folder that is not an absolute path is ignored, or each working folder
    // would get a database of its own.
    void relativeDataHomeIgnored()
    {
        const auto home = SetEnv("HOME", "/home/someone");
        const auto data = SetEnv("XDG_DATA_HOME", "rel/data");
        QCOMPARE(UserDataFolder(), "/home/someone/.local/share/tallyclock");
    }

    // The program's own autostart entry is written and removed; any other entry, a link and a
    // failed write change nothing. A portable copy's entry names it by its path. A setting
    // changes its line in place and leaves the rest of the user's file as it was.
    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("before"); // the autostart entry (nothing: none)
        // "link": the entry links to that content; "full": see start(); "settings": the settings file, not the entry
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // standard output and error together; "." is not a line break
        QTest::addColumn<QByteArray>("after"); // %1 the program
        const QByteArray own = QByteArray(kEntry).replace("%1", "tallyclock"), portable = kEntry, user = kUsersEntry;
        const QStringList autostart = {"--autostart"}, noAutostart = {"--no-autostart"};
        const QString notOwn =
            "^tallyclock: .*autostart/.* is not the entry Tallyclock writes: .* Nothing was changed.\n$";
        // clang-format off
        QTest::addRow("version") << QStringList{"-v"} << user << "" << 0 << "^tallyclock " TALLYCLOCK_VERSION "\n$" << user;
        QTest::addRow("autostart") << autostart << QByteArray() << "" << 0 << "^Tallyclock will start .*: wrote " << portable;
        QTest::addRow("autostart again") << autostart << own << "" << 0 << "^Tallyclock will start " << portable;
        QTest::addRow("user's autostart") << autostart << user << "" << 1 << notOwn << user;
        QTest::addRow("autostart link") << autostart << own << "link" << 1 << "^tallyclock: .* is a symbolic link, " << own;
        QTest::addRow("autostart, disk full") << autostart << own << "full" << 1 << "^tallyclock: cannot write .*: File too large. Nothing was changed.\n$" << own;
        QTest::addRow("no autostart") << noAutostart << own << "" << 0 << "^Tallyclock will no longer .*: removed " << QByteArray();
        QTest::addRow("user's, no autostart") << noAutostart << user << "" << 1 << notOwn << user;
        QTest::addRow("unknown option") << QStringList{"--autostart", "--bogus"} << user << "" << 2 << "^tallyclock: Unknown option 'bogus'.*\n$" << user;
        QTest::addRow("argument") << QStringList{"--no-autostart", "a.mdb"} << user << "" << 2 << "^tallyclock: unexpected argument 'a.mdb'.*\n$" << user;
        QTest::addRow("setting") << QStringList{"--away-detection", "off"} << QByteArray("# mine\n  away-detection=on\n\nidle-minutes = 5\n") << "settings" << 0 << "^Set away-detection = off in .*/tallyclock.conf\n$" << QByteArray("# mine\naway-detection = off\n\nidle-minutes = 5\n");
        QTest::addRow("no display") << QStringList() << QByteArray() << "" << 1 << "^tallyclock: no display found: neither DISPLAY nor WAYLAND_DISPLAY is set.\n$" << QByteArray();
        // clang-format on
    }
    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, before);
        QFETCH(QString, setup);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(QByteArray, after);
        const QString file = tmp->filePath(setup == "settings" ? "config/tallyclock/tallyclock.conf"
                                                               : "config/autostart/" + QString(kAppId) + ".desktop");
        const QString linked = setup == "link" ? tmp->filePath("linked") : file;
        QVERIFY(before.isEmpty() || Write(linked, before));
        QVERIFY(setup != "link" || (QDir().mkpath(QFileInfo(file).path()) && QFile::link(linked, file)));

        const auto process = start(arguments, setup);
        QVERIFY(process->waitForFinished(10000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), status);
        const QString said = process->readAllStandardOutput() + process->readAllStandardError();
        QVERIFY2(QRegularExpression(output).match(said).hasMatch(), qPrintable(said));
        QCOMPARE(Read(linked), after.replace("%1", "\"" + bin.toUtf8() + "/tallyclock\""));
        QCOMPARE(QFileInfo(file).isSymLink(), setup == "link");
        // No window, and no data folder: nothing else is touched.
        QVERIFY(!QFileInfo::exists(tmp->filePath("data")));
    }

    // Two first starts at once make one database (and its backups folder), for its owner only;
    // one copy runs with it, the other hands over and goes. Qt takes its own options, as a
    // session manager gives them.
    void firstStartsAtOnce()
    {
        const auto first = start({"-session", "1", "-style", "fusion", "-platform", "offscreen"}), second = start();
        const auto ended = [](const QProcess& p) { return p.state() == QProcess::NotRunning; };
        QTRY_VERIFY_WITH_TIMEOUT(ended(*first) || ended(*second), 10000);
        QProcess& gone = ended(*first) ? *first : *second;
        QProcess& running = &gone == first.get() ? *second : *first;
        QCOMPARE(gone.exitCode(), 0);
        QVERIFY(!running.waitForFinished(500));
        QTRY_COMPARE(Listed(tmp->filePath("data/tallyclock")), QStringList({"Tallyclock.mdb", "backups"}));
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(tmp->filePath("data/tallyclock")).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        running.kill();
        running.waitForFinished();
    }

    // A copy that is stopped does not answer: a later start says so. Once it crashed, its lock,
    // whatever it holds, and its socket do not block the next start, which a later start over the
    // same database then hands over to. Another database runs apart.
    void handOverAfterCrash()
    {
        MakeDatabase(bin);
        const auto crashed = start();
        QTRY_COMPARE_WITH_TIMEOUT(Listed(run).size(), 2, 10000);
        const auto runtime = SetEnv("XDG_RUNTIME_DIR", run);
        SingleInstance running, other;
        ::kill(static_cast<pid_t>(crashed->processId()), SIGSTOP);
        QVERIFY_THROWS_EXCEPTION(AppError, running.Claim(bin + "/Tallyclock.mdb"));
        crashed->kill();
        QVERIFY(crashed->waitForFinished());
        for (const QString& name : Listed(run).filter(".lock"))
            QVERIFY(Write(run + "/" + name, "garbage"));

        QSignalSpy shown(&running, &SingleInstance::ShowRequested);
        QVERIFY(running.Claim(bin + "/Tallyclock.mdb"));
        QVERIFY(other.Claim(tmp->filePath("data/Tallyclock.mdb")));
        const auto later = start();
        QTRY_COMPARE_WITH_TIMEOUT(later->state(), QProcess::NotRunning, 10000);
        QCOMPARE(later->exitCode(), 0);
        QTRY_COMPARE(shown.count(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_Startup.moc"
