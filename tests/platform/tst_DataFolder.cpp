#include "TestDb.h"

#include "modules/modGlobal.h"
#include "platform/AppError.h"
#include "platform/DataFolder.h"
#include "platform/Database.h"

#include <QtTest>

#include <sys/stat.h>

// Where the database lives: beside a portable program or in the user's data folder, made on
// the first start; and its daily backups.
class tst_DataFolder : public QObject
{
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
    void backups_data();
    void backups();
};

void tst_DataFolder::choice_data()
{
    QTest::addColumn<bool>("portable");        // a Tallyclock.mdb beside the program
    QTest::addColumn<QString>("dataHome");     // XDG_DATA_HOME, in the temporary folder
    QTest::addColumn<QByteArray>("existing");  // the user's database before the start, if any
    QTest::addColumn<QString>("expected");     // the folder chosen, or the error
    QTest::newRow("portable") << true << "data" << QByteArray() << "bin";
    QTest::newRow("first start") << false << "data" << QByteArray() << "data/tallyclock";
    QTest::newRow("existing untouched") << false << "data" << QByteArray("not touched") << "data/tallyclock";
    QTest::newRow("no folder") << false << "bin/tallyclock"
                               << QByteArray() << "The folder \"%1/bin/tallyclock/tallyclock\" cannot be made: Not a directory.";
}

void tst_DataFolder::choice()
{
    QFETCH(bool, portable);
    QFETCH(QString, dataHome);
    QFETCH(QByteArray, existing);
    QFETCH(QString, expected);
    const QTemporaryDir tmp;
    const QString bin = tmp.filePath("bin"), user = tmp.filePath("data/tallyclock");
    QVERIFY(QDir().mkpath(bin));
    QFile(bin + "/tallyclock").open(QIODevice::WriteOnly); // in the way of the "no folder" row
    if (portable)
        MakeDatabase(bin);
    if (!existing.isEmpty()) {
        QVERIFY(QDir().mkpath(user));
        QFile file(user + "/Tallyclock.mdb");
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(existing) == existing.size());
    }
    qputenv("XDG_DATA_HOME", tmp.filePath(dataHome).toLocal8Bit());

    try {
        QCOMPARE(OpenDataFolder(bin), tmp.filePath(expected));
    } catch (const AppError& e) {
        QCOMPARE(QString::fromUtf8(e.what()), expected.arg(tmp.path()));
        return;
    }
    QCOMPARE(GetAppPath(), tmp.filePath(expected) + '/');
    QCOMPARE(QFileInfo::exists(tmp.filePath("data")), !portable);
    if (!existing.isEmpty()) {
        QFile file(user + "/Tallyclock.mdb");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), existing);
    } else if (!portable) {
        // Made whole, for its owner only, and nothing else left behind.
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(user).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        QCOMPARE(QDir(user).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList("Tallyclock.mdb"));
        Connection cn;
        cn.Open(ConnectionStringFor(GetAppPath()));
    }
}

void tst_DataFolder::backups_data()
{
    QTest::addColumn<QStringList>("before");  // the backups' days, and other files there
    QTest::addColumn<QStringList>("after");   // with "new" for a copy made today
    const QStringList week = {"2026-11-30", "2026-12-01", "2026-12-02", "2026-12-03", "2026-12-04", "2026-12-05", "2026-12-06"};
    QTest::newRow("first") << QStringList() << QStringList{"2026-12-07 new"};
    QTest::newRow("once a day") << QStringList{"2026-12-07"} << QStringList{"2026-12-07"};
    QTest::newRow("newest seven kept") << QStringList{"notes.txt"} + week
                                       << QStringList{"notes.txt"} + week.mid(1) + QStringList{"2026-12-07 new"};
    QTest::newRow("failing") << QStringList{"backups"} << QStringList();
}

void tst_DataFolder::backups()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    const TempDatabase db;
    db.insertProject("Alpha");
    const QString backups = db.folder() + "backups";
    const auto name = [](const QString& entry) {
        return entry.startsWith("20") ? "Tallyclock-" + entry.left(10) + ".mdb" : entry;
    };
    if (before == QStringList{"backups"}) {
        QFile(backups).open(QIODevice::WriteOnly); // a file where the folder should be
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Tallyclock: no backup of .*Tallyclock.mdb today: .*backups.*"));
    } else {
        QVERIFY(QDir().mkpath(backups));
        for (const QString& entry : before)
            QFile(backups + '/' + name(entry)).open(QIODevice::WriteOnly);
    }

    BackUpDatabase(db.folder().chopped(1), QDate(2026, 12, 7));

    QStringList kept;
    for (const QString& entry : after)
        kept << name(entry);
    QCOMPARE(QDir(backups).entryList(QDir::Files | QDir::Hidden), kept);
    for (const QString& entry : after) {
        // The files there before are left as they were (empty); the new one is a copy.
        if (!entry.endsWith(" new")) {
            QCOMPARE(QFileInfo(backups + '/' + name(entry)).size(), 0);
            continue;
        }
        TempDatabase copy;
        QVERIFY(QFile::remove(copy.path()) && QFile::copy(backups + '/' + name(entry), copy.path()));
        QCOMPARE(copy.scalar("SELECT Name FROM tblProject").toString(), "Alpha");
    }
}

QTEST_GUILESS_MAIN(tst_DataFolder)
#include "tst_DataFolder.moc"
