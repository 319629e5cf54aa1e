#include "TestDb.h"

#include "modules/modGlobal.h"
#include "platform/AppError.h"
#include "platform/Database.h"

#include <QFile>
#include <QLocale>
#include <QtTest>

#include <sqlite3.h>

#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

// The AppError's message, or a marker when none is raised.
QString ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const AppError& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("<no error>");
}

QStringList Names(RecordSet& rs)
{
    QStringList names;
    for (; !rs.IsEOF(); rs.MoveNext())
        names << rs.Fields(1).ToText();
    return names;
}

} // namespace

class tst_Database : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }

    void openRefusesWhatIsNoDatabase_data();
    void openRefusesWhatIsNoDatabase();
    void pathIsTakenAsWrittenAndLocksAreWaitedFor();
    void readOnlyFileIsReadNotChanged();
    void refusedStatements_data();
    void refusedStatements();
    void resultSetsAndNameOrder();
};

void tst_Database::openRefusesWhatIsNoDatabase_data()
{
    QTest::addColumn<QString>("kind"); // missing, folder, bytes (written as they are) or sql (run on a new file)
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing") << "missing" << QByteArray() << "does not exist";
    QTest::newRow("folder") << "folder" << QByteArray() << "is a folder";
    QTest::newRow("empty file") << "bytes" << QByteArray()
                                << "lacks the table tblProject, the table tblTimePeriod, the query qryProject";
    QTest::newRow("text file") << "bytes" << QByteArray("Standard Jet DB, not SQLite at all\n").repeated(40)
                               << "is not a database";
    QTest::newRow("other database") << "sql" << QByteArray("CREATE TABLE tblProject(x); CREATE TABLE tblTimePeriod(y);")
                                    << "lacks the query qryProject";
}

void tst_Database::openRefusesWhatIsNoDatabase()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Tallyclock.mdb");
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(path));
    if (kind == QLatin1String("bytes")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    }
    if (kind == QLatin1String("sql")) {
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db, content.constData(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    const auto listing = [&] { return QDir(dir.path()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot).size(); };
    const qint64 size = QFileInfo(path).size();
    const auto before = listing();

    Connection cn;
    const QString msg = ErrorOf([&] { cn.Open(ConnectionStringFor(dir.path() + QLatin1Char('/'))); });
    QVERIFY2(msg.contains(expected) && msg.contains(path), qPrintable(msg));
    QVERIFY(!cn.IsOpen());
    // Nothing is created or changed.
    QCOMPARE(listing(), before);
    QCOMPARE(QFileInfo(path).size(), size);

    const QString otherDriver = ConnectionStringFor(dir.path() + QLatin1Char('/'))
                                    .replace(QStringLiteral("Microsoft Access Driver (*.mdb)"),
                                             QStringLiteral("SQL Server"));
    QVERIFY(ErrorOf([&] { cn.Open(otherDriver); }).contains(QStringLiteral("is not known")));
}

void tst_Database::pathIsTakenAsWrittenAndLocksAreWaitedFor()
{
    TempDatabase db;
    const QString folder = db.folder() + QStringLiteral("My Time;DBQ=x; {2026}}/");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::rename(db.path(), folder + QStringLiteral("Tallyclock.mdb")));
    const QString cs = ConnectionStringFor(folder);
    QCOMPARE(ErrorOf([&] { Connection().Open(cs); }), QStringLiteral("<no error>"));
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open((folder + QStringLiteral("Tallyclock.mdb")).toUtf8().constData(), &other), SQLITE_OK);

    // Released while we wait: the statement goes through.
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread releaser([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    Connection cn;
    cn.Open(cs);
    cn.Execute(QStringLiteral("INSERT INTO tblProject(Name,Description) VALUES('a',' ')"));
    cn.Close();
    releaser.join();

    // Held for longer than we wait: a clear error.
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const QString msg = ErrorOf([&] { cn.Open(cs); });
    QVERIFY2(msg.contains(QStringLiteral("locked by another program")), qPrintable(msg));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(other, "SELECT COUNT(*) FROM tblProject", -1, &st, nullptr);
    sqlite3_step(st);
    QCOMPARE(sqlite3_column_int(st, 0), 1);
    sqlite3_finalize(st);
    sqlite3_close(other);
}

void tst_Database::readOnlyFileIsReadNotChanged()
{
    TempDatabase db;
    db.insertProject(QStringLiteral("kept"));
    QVERIFY(QFile::setPermissions(db.path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const auto readable = QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(db.folder(), QFile::permissions(db.folder()) | readable));
    // Root may write any file: the check runs as a user without that right.
    const bool root = geteuid() == 0;
    QVERIFY(!root || seteuid(65534) == 0);
    const auto restore = qScopeGuard([root] { QVERIFY(!root || seteuid(0) == 0); });
    Connection cn;
    cn.Open(db.connectionString());
    RecordSet rs;
    rs.Open(QStringLiteral("SELECT * FROM qryProject ORDER BY Name"), cn);
    QCOMPARE(Names(rs), QStringList(QStringLiteral("kept")));
    const QString msg = ErrorOf([&] { cn.Execute(QStringLiteral("DELETE FROM tblProject")); });
    QVERIFY2(
        msg.startsWith(QStringLiteral("Nothing was stored: the database file \"%1\" is read-only.").arg(db.path())),
        qPrintable(msg));
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM tblProject")).toInt(), 1);
}

void tst_Database::refusedStatements_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    const QString period = QStringLiteral("INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(1,");
    QTest::newRow("unreadable date") << period + "#31/12/2026#,#1/1/2027#)"
                                     << "\"31/12/2026\" is not a date and time";
    QTest::newRow("date with something left over") << period + "#1/1/2027 9:00 x#,#1/1/2027#)"
                                                   << "\"1/1/2027 9:00 x\" is not a date";
    QTest::newRow("unclosed date") << period + "#1/1/2027,1)"
                                   << "without its closing # mark";
    QTest::newRow("unclosed quote") << "INSERT INTO tblProject(Name,Description) VALUES('a,b)"
                                    << "without its closing quote";
    QTest::newRow("two statements")
        << "INSERT INTO tblProject(Name,Description) VALUES('a','b'); DELETE FROM tblTimePeriod"
        << "more than one statement";
    QTest::newRow("no such table") << "DELETE FROM tblNothing WHERE ID=1"
                                   << "Nothing was stored: the database cannot carry out the statement. The statement";
    QTest::newRow("Null name") << "INSERT INTO tblProject(Name,Description) VALUES(NULL,'b')"
                               << "Nothing was stored: a value breaks one of the database's rules. The statement";
    // The record numbers are used up: a number past them could not be read back.
    QTest::newRow("no project number left")
        << "INSERT INTO tblProject(Name,Description) VALUES('a','b')"
        << "Nothing was stored: the database has no record number left for a new project.";
    QTest::newRow("no period number left") << period + "#1/1/2027#,#1/2/2027#)"
                                           << "no record number left for a new time period";
}

void tst_Database::refusedStatements()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    TempDatabase db;
    db.exec(QStringLiteral("INSERT INTO tblTimePeriod VALUES(2147483647,1,1,2)"));
    db.exec(QStringLiteral("INSERT INTO sqlite_sequence VALUES('tblProject',2147483647)"));
    Connection cn;
    cn.Open(db.connectionString());
    const QString msg = ErrorOf([&] { cn.Execute(sql); });
    QVERIFY2(msg.contains(expected) && msg.contains(sql), qPrintable(msg));
    cn.Close();
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM tblProject")).toInt(), 0);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM tblTimePeriod")).toInt(), 1);
}

void tst_Database::resultSetsAndNameOrder()
{
    TempDatabase db;
    for (const char* n : {"beta", "Alpha", "Émile", "zeta", "alpha2", "Eagle", "Project 10", "Project 9"})
        db.insertProject(QString::fromUtf8(n));
    db.insertPeriod(2, 1.0, 1.25);
    Connection cn;
    cn.Open(db.connectionString());
    RecordSet rs;
    rs.Open(QStringLiteral("SELECT * FROM qryProject ORDER BY Name"), cn);
    QCOMPARE(rs.Fields(0).ToInt32(), 2);
    QCOMPARE(rs.Fields(3).ToDouble(), 0.25);
    QVERIFY_THROWS_EXCEPTION(AppError, rs.Fields(4));
    rs.MoveNext();
    QVERIFY(rs.Fields(3).IsNull());
    QVERIFY_THROWS_EXCEPTION(AppError, rs.Fields(3).ToDouble());
    // Closing the connection ends its result sets and frees the file.
    cn.Close();
    QVERIFY(rs.IsEOF());
    db.exec(QStringLiteral("DELETE FROM tblTimePeriod"));

    // Letter case ignored, accents beside their letters, numbers as numbers.
    cn.Open(db.connectionString());
    rs.Open(QStringLiteral("SELECT * FROM qryProject ORDER BY Name"), cn);
    QCOMPARE(Names(rs),
             QStringList({QStringLiteral("Alpha"), QStringLiteral("alpha2"), QStringLiteral("beta"),
                          QStringLiteral("Eagle"), QString::fromUtf8("Émile"), QStringLiteral("Project 9"),
                          QStringLiteral("Project 10"), QStringLiteral("zeta")}));
    QVERIFY_THROWS_EXCEPTION(AppError, rs.Fields(0));
    cn.Close();
}

QTEST_GUILESS_MAIN(tst_Database)
#include "tst_Database.moc"
