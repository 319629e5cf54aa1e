#include "TestDb.h"

#include <QtTest>

#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <thread>

// The connection and result set over real SQLite files: what they refuse and as what, locks
// and read-only files.
class tst_Database : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }

    // Files of the test's folder that are no database, and statements that cannot or may not
    // be carried out: the database's last record numbers are taken, the next ones could not be
    // read back. Nothing is stored.
    void refusals_data()
    {
        QTest::addColumn<QString>("target"); // a file to open, or a statement (with a blank)
        QTest::addColumn<ErrorKind>("kind");
        const QString project = "INSERT INTO tblProject(Name,Description) VALUES";
        const QString period = "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES";
        // clang-format off
        QTest::newRow("folder") << "sub" << ErrorKind::NotADatabase;
        QTest::newRow("empty file") << "empty.mdb" << ErrorKind::NotADatabase;
        QTest::newRow("text file") << "text.mdb" << ErrorKind::NotADatabase;
        QTest::newRow("named pipe") << "pipe.mdb" << ErrorKind::NotADatabase;
        QTest::newRow("missing file") << "missing.mdb" << ErrorKind::CannotOpen;
        QTest::newRow("unreadable date") << period + "(1,#31/12/2026#,#1/1/2027#)" << ErrorKind::BadInput;
        QTest::newRow("unclosed date") << period + "(1,#1/1/2027,1)" << ErrorKind::BadInput;
        QTest::newRow("unclosed quote") << project + "('a,b)" << ErrorKind::BadInput;
        QTest::newRow("two statements") << project + "('a','b'); DELETE FROM tblTimePeriod" << ErrorKind::BadInput;
        QTest::newRow("no such table") << "DELETE FROM tblNothing" << ErrorKind::Other;
        QTest::newRow("Null name") << project + "(NULL,'b')" << ErrorKind::Refused;
        QTest::newRow("no project number left") << project + "('a','b')" << ErrorKind::Refused;
        QTest::newRow("no period number left") << period + "(1,#1/1/2027#,#1/2/2027#)" << ErrorKind::Refused;
        // clang-format on
    }
    void refusals()
    {
        QFETCH(QString, target);
        QFETCH(ErrorKind, kind);
        TempDatabase db;
        db.exec("INSERT INTO tblTimePeriod VALUES(2147483647,1,1,2)");
        db.exec("INSERT INTO sqlite_sequence VALUES('tblProject',2147483647)");
        const QDir dir(db.folder());
        QVERIFY(dir.mkdir("sub") && QFile(dir.filePath("empty.mdb")).open(QFile::WriteOnly));
        QVERIFY(QFile::copy(":/tallyclock/schema.sql", dir.filePath("text.mdb")));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("pipe.mdb")).constData(), 0600), 0);
        const bool sql = target.contains(' ');
        Connection cn;
        if (sql)
            cn.Open(db.connectionString());
        QCOMPARE(
            ErrorKindOf([&] { sql ? cn.Execute(target) : cn.Open(ConnectionStringForFile(db.folder() + target)); }),
            kind);
        QCOMPARE(cn.IsOpen(), sql);
        cn.Close();
        QCOMPARE(db.rows("SELECT (SELECT COUNT(*) FROM tblProject), COUNT(*) FROM tblTimePeriod")[0],
                 QVariantList({0, 1}));
    }

    // A database made before the span index gets it, as the schema writes it, from the first
    // connection that may write, and from no other. A column past the last is an error; closing
    // the connection ends its result sets.
    void spanIndexAndResultSets()
    {
        TempDatabase db;
        db.insertProject("a");
        const QString sql = QStringLiteral("SELECT sql FROM sqlite_master WHERE name='%1'").arg(kSpanIndex);
        const QVariant made = db.scalar(sql);
        db.exec(QStringLiteral("DROP INDEX %1").arg(kSpanIndex));
        Connection cn;
        cn.Open(db.connectionString(), Connection::Access::ReadOnly);
        cn.Close();
        QVERIFY(db.scalar(sql).isNull());
        cn.Open(db.connectionString());
        QCOMPARE(db.scalar(sql), made);
        RecordSet rs;
        rs.Open("SELECT * FROM qryProject", cn);
        QVERIFY_THROWS_EXCEPTION(AppError, rs.Fields(4));
        cn.Close();
        QVERIFY(rs.IsEOF());
    }

    // Another program's lock: waited for while it is released in time, else a lock error.
    void locks()
    {
        TempDatabase db;
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(db.path().toUtf8().constData(), &other), SQLITE_OK);
        const auto close = qScopeGuard([other] { sqlite3_close(other); });
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        std::thread releaser([other] {
            QThread::msleep(700);
            sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        });
        Connection cn;
        const auto waited = ErrorKindOf([&] { cn.Open(db.connectionString()); });
        releaser.join();
        QCOMPARE(waited, std::nullopt);
        cn.Close();
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        QCOMPARE(ErrorKindOf([&] { cn.Open(db.connectionString()); }), ErrorKind::Locked);
    }

    // The refusal of a change to a read-only file, in the words the user reads.
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
        QString msg;
        QCOMPARE(ErrorKindOf([&] { cn.Execute(QStringLiteral("DELETE FROM tblProject")); }, &msg), ErrorKind::ReadOnly);
        QVERIFY2(
            msg.startsWith(QStringLiteral("Nothing was stored: the database file \"%1\" is read-only.").arg(db.path())),
            qPrintable(msg));
    }
};

QTEST_GUILESS_MAIN(tst_Database)
#include "tst_Database.moc"
