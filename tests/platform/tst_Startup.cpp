#include "TestDb.h"

#include "platform/AppId.h"
#include "platform/DataFolder.h"
#include "platform/SingleInstance.h"

#include <QtTest>

#include <memory>

#include <sys/stat.h>

namespace {

const QDate kToday(2026, 12, 7);
const QByteArray kUsersEntry = "[Desktop Entry]\nExec=tallyclock --user\n";

// Sets an environment variable until the returned guard goes.
auto SetEnv(const char* name, const QString& value)
{
    const bool had = qEnvironmentVariableIsSet(name);
    const QByteArray old = qgetenv(name);
    qputenv(name, value.toLocal8Bit());
    return qScopeGuard([=] { had ? qputenv(name, old) : qunsetenv(name); });
}

// A file with the content, its folder made as needed.
bool Write(const QString& path, const QByteArray& content = {})
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(content) >= 0;
}

// What the file holds; nothing when it is missing.
QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The backups of the days from `from` to `to` days before today, oldest first.
QStringList BackupsOfDaysAgo(int from, int to)
{
    QStringList names;
    for (int ago = from; ago >= to; --ago)
        names << "Tallyclock-" + kToday.addDays(-ago).toString(Qt::ISODate) + ".mdb";
    return names;
}

} // namespace

// The database's daily backups, and the real program copied into a temporary folder and run
// as a process: its options without a display, and one running copy per database.
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

private slots:
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        bin = tmp->filePath("bin");
        run = tmp->filePath("run");
        QVERIFY(QDir().mkpath(bin) && QDir().mkdir(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(QFile::copy(TALLYCLOCK_PROGRAM, bin + "/tallyclock"));
    }

    // Today's backup is a copy of the database, made once; the newest seven backups stay, other
    // files too.
    void backups()
    {
        const TempDatabase db;
        db.insertProject("Alpha");
        const QString backups = db.folder() + "backups/";
        for (const QString& name : QStringList{"notes.txt"} + BackupsOfDaysAgo(7, 1))
            QVERIFY(Write(backups + name));

        BackUpDatabase(db.folder().chopped(1), kToday);
        // A later start the same day keeps the first backup, without a word.
        QTest::failOnWarning(QRegularExpression("."));
        BackUpDatabase(db.folder().chopped(1), kToday);

        QCOMPARE(QDir(backups).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"notes.txt"} + BackupsOfDaysAgo(6, 0));
        const TempDatabase copy;
        QVERIFY(QFile::remove(copy.path()) && QFile::copy(backups + BackupsOfDaysAgo(0, 0)[0], copy.path()));
        QCOMPARE(copy.scalar("SELECT Name FROM tblProject"), "Alpha");
    }

    // A file where the backups folder belongs: one warning says why, and nothing else stops.
    void backupFailure()
    {
        const TempDatabase db;
        QVERIFY(Write(db.folder() + "backups"));
        const QString warning = "Tallyclock: no backup of %1Tallyclock.mdb today: "
                                "The folder \"%1backups\" cannot be made: Not a directory.";
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning.arg(db.folder())));
        BackUpDatabase(db.folder().chopped(1), kToday);
    }

    // Each row starts with an autostart entry the user made.
    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // standard output and error together; "." is not a line break
        QTest::addColumn<QByteArray>("entry"); // what the autostart entry holds afterwards (nothing: removed)
        const QByteArray kept = kUsersEntry;
        const QByteArray written = "[Desktop Entry]\nType=Application\nName=Tallyclock\nExec=tallyclock\nIcon="
            + QByteArray(kAppId) + '\n';
        QTest::addRow("version") << QStringList{"-v"} << 0 << "^tallyclock " TALLYCLOCK_VERSION "\n$" << kept;
        QTest::addRow("autostart") << QStringList{"--autostart"} << 0 << "^Tallyclock will start .*: wrote " << written;
        QTest::addRow("no autostart") << QStringList{"--no-autostart"} << 0 << "^Tallyclock will no longer .*: removed "
                                      << QByteArray();
        QTest::addRow("unknown option") << QStringList{"--autostart", "--bogus"} << 2
                                        << "^tallyclock: Unknown option 'bogus'.*\n$" << kept;
        QTest::addRow("argument") << QStringList{"--no-autostart", "a.mdb"} << 2
                                  << "^tallyclock: unexpected argument 'a.mdb'.*\n$" << kept;
    }
    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(QByteArray, entry);
        const QString autostart = tmp->filePath("config/autostart/") + kAppId + ".desktop";
        QVERIFY(Write(autostart, kUsersEntry));

        const auto process = start(arguments);
        QVERIFY(process->waitForFinished(10000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), status);
        const QString said = process->readAllStandardOutput() + process->readAllStandardError();
        QVERIFY2(QRegularExpression(output).match(said).hasMatch(), qPrintable(said));
        QCOMPARE(Read(autostart), entry);
        // No window, and no data folder: nothing else is touched.
        QVERIFY(!QFileInfo::exists(tmp->filePath("data")));
    }

    // Two first starts at once make one database (and its backups folder), for its owner only;
    // one copy runs with it, the other hands over and goes.
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

        const auto runtime = SetEnv("XDG_RUNTIME_DIR", run);
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
