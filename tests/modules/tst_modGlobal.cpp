#include "TestDb.h"

#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "platform/AppError.h"
#include "platform/Database.h"
#include "platform/Regional.h"

#include <QtTest>

#include <cfloat>

// The module procedures that store and load projects and periods, on a real database.
class tst_modGlobal : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void connectionStrings()
    {
        QCOMPARE(ConnectionStringFor(QStringLiteral("/opt/tools/")),
                 QStringLiteral("DRIVER=Microsoft Access Driver (*.mdb);DBQ=/opt/tools/Tallyclock.mdb;"));
        // Braces also for a leading blank, which a reader of the string could drop.
        QCOMPARE(ConnectionStringFor(QStringLiteral(" a/")),
                 QStringLiteral("DRIVER=Microsoft Access Driver (*.mdb);DBQ={ a/Tallyclock.mdb};"));
        // Each of these characters could end or open a value of the connection string.
        TempDatabase db;
        const QString folder = db.folder() + QStringLiteral("My Time;DBQ=x; {2026}}/");
        QVERIFY(QDir().mkpath(folder) && QFile::rename(db.path(), folder + QStringLiteral("Tallyclock.mdb")));
        Connection cn;
        cn.Open(ConnectionStringFor(folder));
        QCOMPARE(cn.FilePath(), folder + QStringLiteral("Tallyclock.mdb"));
    }

    // A list entry's key holds its record number.
    void listKeys()
    {
        QCOMPARE(IDFromKey(KeyFromID(2147483647)), 2147483647);
        for (const char* bad : {"KEY", "ID12", "KEY2147483648"})
            QVERIFY_THROWS_EXCEPTION(AppError, IDFromKey(QLatin1String(bad)));
    }

    void statementTexts()
    {
        TempDatabase db;
        StatementLog log;
        AddProjectRecord(QStringLiteral("Client's site"), QString());
        AddTimePeriodRecord(7, At(2026, 12, 5, 17, 42, 21), At(2026, 12, 6));
        LoadProjects();
        DeleteProjectRecord(12);
        QCOMPARE(log.statements(),
                 QStringList({
                     QStringLiteral("INSERT INTO tblProject(Name,Description) VALUES('Client''s site',' ')"),
                     QStringLiteral("INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) "
                                    "VALUES(7,#12/5/2026 5:42:21 PM#,#12/6/2026#)"),
                     QStringLiteral("SELECT * FROM qryProject ORDER BY Name"),
                     QStringLiteral("BeginTrans"),
                     QStringLiteral("DELETE FROM tblTimePeriod WHERE ProjectID=12"),
                     QStringLiteral("DELETE FROM tblProject WHERE ProjectID=12"),
                     QStringLiteral("CommitTrans"),
                 }));
    }

    // Quotes, hash marks and any character are stored as typed; half of a character, as a cut-off
    // paste leaves it, and a NUL are replaced, not refused.
    void textsStoredUnchanged()
    {
        TempDatabase db;
        const QString name = QString::fromUtf8("Ärger C# #2");
        AddProjectRecord(name, QStringLiteral("it's #1/1/2026# \xD83D\xDE42 x\xD83D'y\0z"));
        LoadProjects();
        QCOMPARE(gProjects->Name(), name);
        QCOMPARE(gProjects->Description(), QStringLiteral("it's #1/1/2026# \xD83D\xDE42 x\xFFFD'y\xFFFDz"));
    }

    // Letter case ignored, accents beside their letters, numbers as numbers; periods of no listed
    // project (none made active, or one deleted) count for none.
    void projectList()
    {
        TempDatabase db;
        for (const char* n : {"beta", "Alpha", "Émile", "alpha2", "Eagle", "Project 10", "Project 9"})
            db.insertProject(QString::fromUtf8(n));
        db.insertPeriod(1, 100.0, 100.0625);
        db.insertPeriod(1, 101.0, 101.25);
        db.insertPeriod(0, 1.0, 2.0);
        LoadProjects();
        QStringList shown;
        gProjects->MoveFirst();
        for (int i = 0; i < gProjects->Count(); ++i, gProjects->MoveNext())
            shown << gProjects->Name() + QLatin1Char('=') + MinutesText(DaysToMinutes(gProjects->TotalTime()));
        QCOMPARE(shown.join(QLatin1Char(' ')),
                 QString::fromUtf8("Alpha=0 alpha2=0 beta=450 Eagle=0 Émile=0 Project 9=0 Project 10=0"));
        QVERIFY_THROWS_EXCEPTION(AppError, DaysToMinutes(DBL_MAX));
    }

    // The second statement fails: the first is undone.
    void deletionIsAllOrNothing()
    {
        TempDatabase db;
        const qint32 id = static_cast<qint32>(db.insertProject(QStringLiteral("kept")));
        db.insertPeriod(id, 1.0, 2.0);
        db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON tblProject "
                               "BEGIN SELECT RAISE(ABORT, 'project is protected'); END"));
        QVERIFY_THROWS_EXCEPTION(AppError, DeleteProjectRecord(id));
        const QString counts = QStringLiteral("SELECT (SELECT COUNT(*) FROM tblProject), COUNT(*) FROM tblTimePeriod");
        QCOMPARE(db.rows(counts).at(0), QVariantList({1, 1}));
    }
};

QTEST_GUILESS_MAIN(tst_modGlobal)
#include "tst_modGlobal.moc"