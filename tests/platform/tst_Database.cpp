#include "TestDb.h"

#include "platform/AppError.h"
#include "platform/Database.h"

#include <QtTest>

#include <sqlite3.h>

#include <sys/stat.h>
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

} // namespace

// The connection and result set over real SQLite files: what they refuse and why, locks and
// read-only files.
class tst_Database : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }

    // The test's folder holds a folder "sub", an empty file and a text file.
    void openRefusesWhatIsNoDatabase_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected"); // %1 the file's path
        const auto row = [](const char* file, const char* expected) {
            QTest::addRow("%s", file) << QString::fromUtf8(file) << QString::fromUtf8(expected);
        };
        row("sub", "\"%1\" is a folder, not a database file.");
        row("empty.mdb",
            "The file \"%1\" is not a Tallyclock database: it lacks the table tblProject, the table tblTimePeriod, "
            "the query qryProject.");
        row("text.mdb", "The file \"%1\" is not a database.");
        row("pipe.mdb", "\"%1\" is not a regular file, so it cannot be a database file.");
    }
    void openRefusesWhatIsNoDatabase()
    {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        QVERIFY(QFile(dir.filePath(QStringLiteral("empty.mdb"))).open(QIODevice::WriteOnly));
        QFile text(dir.filePath(QStringLiteral("text.mdb")));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write(QByteArray("Not SQLite\n").repeated(100)) > 0);
        text.close();
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe.mdb"))).constData(), 0600), 0);
        const QString path = dir.filePath(file);
        Connection cn;
        QCOMPARE(ErrorOf([&] { cn.Open(ConnectionStringForFile(path)); }), expected.arg(path));
        QVERIFY(!cn.IsOpen());
    }

    // A database made before the span index gets it, as the schema writes it, from the first
    // connection that may write, and from no other.
    void spanIndexAdded()
    {
        TempDatabase db;
        const QString sql = QStringLiteral("SELECT sql FROM sqlite_master WHERE name='%1'").arg(kSpanIndex);
        const QVariant made = db.scalar(sql);
        db.exec(QStringLiteral("DROP INDEX %1").arg(kSpanIndex));
        Connection cn;
        cn.Open(db.connectionString(), Connection::Access::ReadOnly);
        cn.Close();
        QVERIFY(db.scalar(sql).isNull());
        cn.Open(db.connectionString());
        QCOMPARE(db.scalar(sql), made);
    }

    // Another program's lock: waited for while it is released in time, else a clear error.
    void locks()
    {
        TempDatabase db;
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(db.path().toUtf8().constData(), &other), SQLITE_OK);
        const auto close = qScopeGuard([other] { sqlite3_close(other); });
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        std::thread releaser([other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        });
        Connection cn;
        const QString waited = ErrorOf([&] { cn.Open(db.connectionString()); });
        releaser.join();
        QCOMPARE(waited, QStringLiteral("<no error>"));
        cn.Close();

        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        QCOMPARE(ErrorOf([&] { cn.Open(db.connectionString()); }),
                 QStringLiteral("The database file \"%1\" is locked by another program.").arg(db.path()));
    }

    void readOnlyFileOpensButRefusesChanges()
    {
        TempDatabase db;
        QVERIFY(QFile::setPermissions(db.path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const auto readable = QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(db.folder(), QFile::permissions(db.folder()) | readable));
        // Root may write any file: the check runs as a user without that right.
        const bool root = geteuid() == 0;
        QVERIFY(!root || seteuid(65534) == 0);
        const auto restore = qScopeGuard([root] { QVERIFY(!root || seteuid(0) == 0); });
        Connection cn;
        cn.Open(db.connectionString());
        const QString msg = ErrorOf([&] { cn.Execute(QStringLiteral("DELETE FROM tblProject")); });
        QVERIFY2(
            msg.startsWith(QStringLiteral("Nothing was stored: the database file \"%1\" is read-only.").arg(db.path())),
            qPrintable(msg));
    }

    // The database's last record numbers are taken: the next ones could not be read back.
    void refusedStatements_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* tag, const QString& sql, const char* expected) {
            QTest::addRow("%s", tag) << sql << QString::fromUtf8(expected);
        };
        const QString project = QStringLiteral("INSERT INTO tblProject(Name,Description) VALUES");
        const QString period = QStringLiteral("INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES");
        row("unreadable date", period + "(1,#31/12/2026#,#1/1/2027#)", "\"31/12/2026\" is not a date and time");
        row("unclosed date", period + "(1,#1/1/2027,1)", "a date without its closing # mark");
        row("unclosed quote", project + "('a,b)", "text without its closing quote");
        row("two statements", project + "('a','b'); DELETE FROM tblTimePeriod", "more than one statement");
        row("no such table", "DELETE FROM tblNothing", "the database cannot carry out the statement.");
        row("Null name", project + "(NULL,'b')", "a value breaks one of the database's rules.");
        row("no project number left", project + "('a','b')", "no record number left for a new project.");
        row("no period number left", period + "(1,#1/1/2027#,#1/2/2027#)",
            "no record number left for a new time period.");
    }
    void refusedStatements()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        TempDatabase db;
        db.exec(QStringLiteral("INSERT INTO tblTimePeriod VALUES(2147483647,1,1,2)"));
        db.exec(QStringLiteral("INSERT INTO sqlite_sequence VALUES('tblProject',2147483647)"));
        Connection cn;
        cn.Open(db.connectionString());
        const QString msg = ErrorOf([&] { cn.Execute(sql); });
        QVERIFY2(msg.contains(expected) && msg.endsWith(sql), qPrintable(msg));
        cn.Close();
        const QString counts = QStringLiteral("SELECT (SELECT COUNT(*) FROM tblProject), COUNT(*) FROM tblTimePeriod");
        QCOMPARE(db.rows(counts).at(0), QVariantList({0, 1}));
    }

    // A column past the last is an error; closing the connection ends its result sets.
    void resultSets()
    {
        TempDatabase db;
        db.insertProject(QStringLiteral("a"));
        Connection cn;
        cn.Open(db.connectionString());
        RecordSet rs;
        rs.Open(QStringLiteral("SELECT * FROM qryProject"), cn);
        QVERIFY_THROWS_EXCEPTION(AppError, rs.Fields(4));
        cn.Close();
        QVERIFY(rs.IsEOF());
    }
};

QTEST_GUILESS_MAIN(tst_Database)
#include "tst_Database.moc"