#include "TestDb.h"

#include "modules/modGlobal.h"
#include "platform/AppError.h"
#include "platform/Database.h"
#include "platform/Regional.h"

#include <QFile>
#include <QLocale>
#include <QtTest>

#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

// Runs f and returns the AppError's message, or fails when none is raised.
QString ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const AppError& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("<no error>");
}

} // namespace

class tst_Database : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }

    void openRefusesWhatIsNoDatabase_data();
    void openRefusesWhatIsNoDatabase();
    void connectionStringPathIsTakenAsWritten();
    void lockedFileIsWaitedFor();
    void dialect_data();
    void dialect();
    void refusedStatements_data();
    void refusedStatements();
    void resultSetReadsByPosition();
    void closingTheConnectionEndsItsResultSets();
    void namesSortWithoutRegardToCase();
};

void tst_Database::openRefusesWhatIsNoDatabase_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing") << "missing" << "does not exist";
    QTest::newRow("folder") << "folder" << "is a folder";
    QTest::newRow("empty file") << "empty" << "lacks the table tblProject, the table tblTimePeriod, the query qryProject";
    QTest::newRow("text file") << "text" << "is not a database";
    QTest::newRow("other database") << "other" << "lacks the query qryProject";
    QTest::newRow("read-only file") << "readonly" << "cannot be written to";
    QTest::newRow("wrong driver") << "driver" << "is not known";
}

void tst_Database::openRefusesWhatIsNoDatabase()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Tallyclock.mdb");
    QByteArray before;
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(path));
    } else if (kind != QLatin1String("missing")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("text"))
            f.write(QByteArray("Standard Jet DB\nthis is not SQLite at all, but long enough to look like a header...\n").repeated(20));
        f.close();
        if (kind == QLatin1String("other") || kind == QLatin1String("readonly") || kind == QLatin1String("driver")) {
            sqlite3* db = nullptr;
            sqlite3_open(path.toUtf8().constData(), &db);
            const char* sql = kind == QLatin1String("other")
                ? "CREATE TABLE tblProject(x); CREATE TABLE tblTimePeriod(y);"
                : "CREATE TABLE tblProject(x); CREATE TABLE tblTimePeriod(y); CREATE VIEW qryProject AS SELECT 1;";
            sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        if (kind == QLatin1String("readonly"))
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        QFile r(path);
        QVERIFY(r.open(QIODevice::ReadOnly));
        before = r.readAll();
    }
    if (kind == QLatin1String("readonly") && access(path.toUtf8().constData(), W_OK) == 0)
        QSKIP("the file system lets this user write to read-only files");

    QString cs = ConnectionStringFor(dir.path() + QLatin1Char('/'));
    if (kind == QLatin1String("driver"))
        cs.replace(QStringLiteral("Microsoft Access Driver (*.mdb)"), QStringLiteral("SQL Server"));
    Connection cn;
    const QString msg = ErrorOf([&] { cn.Open(cs); });
    QVERIFY2(msg.contains(expected), qPrintable(msg));
    if (kind != QLatin1String("driver"))
        QVERIFY2(msg.contains(path), qPrintable(msg));
    QVERIFY(!cn.IsOpen());
    // Nothing is created or changed.
    if (kind == QLatin1String("missing")) {
        QVERIFY(!QFile::exists(path));
    } else if (kind != QLatin1String("folder")) {
        QFile r(path);
        QVERIFY(r.open(QIODevice::ReadOnly));
        QCOMPARE(r.readAll(), before);
    }
    QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));
}

void tst_Database::connectionStringPathIsTakenAsWritten()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/My Time; Tracking (2026)/");
    QVERIFY(QDir().mkpath(folder));
    TempDatabase db;
    QVERIFY(QFile::copy(db.path(), folder + QStringLiteral("Tallyclock.mdb")));
    Connection cn;
    cn.Open(ConnectionStringFor(folder));
    QVERIFY(cn.IsOpen());
    QCOMPARE(cn.FilePath(), folder + QStringLiteral("Tallyclock.mdb"));
    cn.Close();
}

void tst_Database::lockedFileIsWaitedFor()
{
    TempDatabase db;
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(db.path().toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    // Released while we wait: the statement goes through.
    std::thread releaser([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    Connection cn;
    cn.Open(db.connectionString());
    cn.Execute(QStringLiteral("INSERT INTO tblProject(Name,Description) VALUES('a',' ')"));
    cn.Close();
    releaser.join();
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM tblProject")).toInt(), 1);

    // Held for longer than we wait: a clear error, and nothing written.
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const QString msg = ErrorOf([&] { cn.Open(db.connectionString()); });
    QVERIFY2(msg.contains(QStringLiteral("locked by another program")), qPrintable(msg));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}

void tst_Database::dialect_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::newRow("doubled quote") << "INSERT INTO tblProject(Name,Description) VALUES('Client''s site','It''s')"
                                   << "Client's site" << "It's";
    QTest::newRow("# inside quotes") << "INSERT INTO tblProject(Name,Description) VALUES('C# #2','#12/5/2026#')"
                                     << "C# #2" << "#12/5/2026#";
    QTest::newRow("line break") << "INSERT INTO tblProject(Name,Description) VALUES('a','line 1\nline 2\r\n')"
                                << "a" << "line 1\nline 2\r\n";
    QTest::newRow("non-ASCII") << QString::fromUtf8("INSERT INTO tblProject(Name,Description) VALUES('Über Ωmega 日本','é 🙂')")
                               << QString::fromUtf8("Über Ωmega 日本") << QString::fromUtf8("é 🙂");
    QTest::newRow("quotes only") << "INSERT INTO tblProject(Name,Description) VALUES('''','''''')" << "'" << "''";
    QTest::newRow("semicolon inside") << "INSERT INTO tblProject(Name,Description) VALUES('a; DROP TABLE tblProject','--')"
                                      << "a; DROP TABLE tblProject" << "--";
}

void tst_Database::dialect()
{
    QFETCH(QString, sql);
    QFETCH(QString, name);
    QFETCH(QString, description);
    TempDatabase db;
    Connection cn;
    cn.Open(db.connectionString());
    cn.Execute(sql);
    cn.Close();
    const auto rows = db.rows(QStringLiteral("SELECT Name, Description FROM tblProject"));
    QCOMPARE(rows.size(), size_t(1));
    QCOMPARE(rows[0][0].toString(), name);
    QCOMPARE(rows[0][1].toString(), description);
}

void tst_Database::refusedStatements_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unreadable date") << "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(1,#31/12/2026#,#1/1/2027#)"
                                     << "\"31/12/2026\" is not a date and time";
    QTest::newRow("date with something left over")
        << "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(1,#1/1/2027 9:00 x#,#1/1/2027#)"
        << "\"1/1/2027 9:00 x\" is not a date";
    QTest::newRow("unclosed date") << "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(1,#1/1/2027,1)"
                                   << "without its closing # mark";
    QTest::newRow("unclosed quote") << "INSERT INTO tblProject(Name,Description) VALUES('a,b)" << "without its closing quote";
    QTest::newRow("two statements") << "INSERT INTO tblProject(Name,Description) VALUES('a','b'); DELETE FROM tblTimePeriod"
                                    << "more than one statement";
    QTest::newRow("no such table") << "DELETE FROM tblNothing WHERE ID=1" << "no such table: tblNothing";
    QTest::newRow("Null name") << "INSERT INTO tblProject(Name,Description) VALUES(NULL,'b')"
                               << "NOT NULL constraint failed: tblProject.Name";
}

void tst_Database::refusedStatements()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    TempDatabase db;
    db.insertPeriod(1, 1.0, 2.0);
    Connection cn;
    cn.Open(db.connectionString());
    const QString msg = ErrorOf([&] { cn.Execute(sql); });
    QVERIFY2(msg.contains(expected), qPrintable(msg));
    QVERIFY2(msg.contains(sql), qPrintable(msg));
    cn.Close();
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM tblProject")).toInt(), 0);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM tblTimePeriod")).toInt(), 1);
}

void tst_Database::resultSetReadsByPosition()
{
    TempDatabase db;
    const qint64 id = db.insertProject(QStringLiteral("Alpha"), QStringLiteral("first"));
    db.insertProject(QStringLiteral("Beta"), QStringLiteral(" "));
    db.insertPeriod(id, 1.0, 1.25);
    StatementLog log;
    Connection cn;
    cn.Open(db.connectionString());
    RecordSet rs;
    rs.Open(QStringLiteral("SELECT * FROM qryProject ORDER BY Name"), cn);
    QVERIFY(!rs.IsEOF());
    QCOMPARE(rs.Fields(0).ToInt32(), qint32(id));
    QCOMPARE(rs.Fields(1).ToText(), QStringLiteral("Alpha"));
    QCOMPARE(rs.Fields(3).ToDouble(), 0.25);
    QVERIFY_THROWS_EXCEPTION(AppError, rs.Fields(4));
    rs.MoveNext();
    QCOMPARE(rs.Fields(1).ToText(), QStringLiteral("Beta"));
    QVERIFY(rs.Fields(3).IsNull());
    QVERIFY_THROWS_EXCEPTION(AppError, rs.Fields(3).ToDouble());
    rs.MoveNext();
    QVERIFY(rs.IsEOF());
    QVERIFY_THROWS_EXCEPTION(AppError, rs.Fields(0));
    rs.Close();
    cn.Close();
    QCOMPARE(log.statements(), QStringList{QStringLiteral("SELECT * FROM qryProject ORDER BY Name")});
}

void tst_Database::closingTheConnectionEndsItsResultSets()
{
    TempDatabase db;
    db.insertProject(QStringLiteral("a"));
    Connection cn;
    cn.Open(db.connectionString());
    RecordSet rs;
    rs.Open(QStringLiteral("SELECT * FROM qryProject ORDER BY Name"), cn);
    QVERIFY(!rs.IsEOF());
    cn.Close();
    QVERIFY(rs.IsEOF());
    QVERIFY(!cn.IsOpen());
    // With the file released, another writer goes straight through.
    db.exec(QStringLiteral("DELETE FROM tblProject"));
}

void tst_Database::namesSortWithoutRegardToCase()
{
    TempDatabase db;
    for (const char* n : {"beta", "Alpha", "Émile", "zeta", "alpha2", "Eagle", "Project 10", "Project 9"})
        db.insertProject(QString::fromUtf8(n));
    Connection cn;
    cn.Open(db.connectionString());
    RecordSet rs;
    rs.Open(QStringLiteral("SELECT * FROM qryProject ORDER BY Name"), cn);
    QStringList names;
    for (; !rs.IsEOF(); rs.MoveNext())
        names << rs.Fields(1).ToText();
    cn.Close();
    QCOMPARE(names, QStringList({QStringLiteral("Alpha"), QStringLiteral("alpha2"), QStringLiteral("beta"),
                                 QStringLiteral("Eagle"), QString::fromUtf8("Émile"), QStringLiteral("Project 9"),
                                 QStringLiteral("Project 10"), QStringLiteral("zeta")}));
}

QTEST_GUILESS_MAIN(tst_Database)
#include "tst_Database.moc"
