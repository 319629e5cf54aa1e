#include "TestDb.h"

#include "modules/modGeneral.h"
#include "modules/modGlobal.h"

#include <QtTest>

#include <cfloat>

// The module procedures that store and load projects and periods, on a real database.
class tst_modGlobal : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }

    // Braces for a leading blank, which a reader of the string could drop, and for each character
    // that could end or open a value of the connection string.
    void connectionStrings()
    {
        QCOMPARE(ConnectionStringFor(" a/"), "DRIVER=Microsoft Access Driver (*.mdb);DBQ={ a/Tallyclock.mdb};");
        TempDatabase db;
        const QString folder = db.folder() + "My Time;DBQ=x; {2026}}/";
        QVERIFY(QDir().mkpath(folder) && QFile::rename(db.path(), folder + "Tallyclock.mdb"));
        Connection cn;
        cn.Open(ConnectionStringFor(folder));
        QCOMPARE(cn.FilePath(), folder + "Tallyclock.mdb");
    }

    // A list entry's key holds its record number; a total too large for minutes is no number.
    void badValues()
    {
        QCOMPARE(IDFromKey(KeyFromID(2147483647)), 2147483647);
        for (const char* bad : {"KEY", "ID12", "KEY2147483648"})
            QCOMPARE(ErrorKindOf([bad] { IDFromKey(QLatin1String(bad)); }), ErrorKind::BadInput);
        QCOMPARE(ErrorKindOf([] { DaysToMinutes(DBL_MAX); }), ErrorKind::BadInput);
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
            shown << gProjects->Name() + '=' + MinutesText(DaysToMinutes(gProjects->TotalTime()));
        QCOMPARE(shown.join(' '), "Alpha=0 alpha2=0 beta=450 Eagle=0 Émile=0 Project 9=0 Project 10=0");
    }

    // The second statement fails: the first is undone.
    void deletionIsAllOrNothing()
    {
        TempDatabase db;
        const qint32 id = static_cast<qint32>(db.insertProject("kept"));
        db.insertPeriod(id, 1.0, 2.0);
        db.exec("CREATE TRIGGER refuse BEFORE DELETE ON tblProject BEGIN SELECT RAISE(ABORT, 'protected'); END");
        QCOMPARE(ErrorKindOf([id] { DeleteProjectRecord(id); }), ErrorKind::Refused);
        QCOMPARE(db.rows("SELECT (SELECT COUNT(*) FROM tblProject), COUNT(*) FROM tblTimePeriod")[0],
                 QVariantList({1, 1}));
    }
};

QTEST_GUILESS_MAIN(tst_modGlobal)
#include "tst_modGlobal.moc"