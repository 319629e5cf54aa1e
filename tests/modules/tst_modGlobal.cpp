#include "TestDb.h"

#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "platform/AppError.h"
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

    void pathsAndKeys()
    {
        QCOMPARE(ConnectionStringFor(QStringLiteral("/opt/tools/")),
                 QStringLiteral("DRIVER=Microsoft Access Driver (*.mdb);DBQ=/opt/tools/Tallyclock.mdb;"));
        QCOMPARE(ConnectionStringFor(QStringLiteral(" a;DBQ={b}/")),
                 QStringLiteral("DRIVER=Microsoft Access Driver (*.mdb);DBQ={ a;DBQ={b}}/Tallyclock.mdb};"));
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

    void textsStoredUnchanged_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("storedDescription");
        const auto row = [](const char* tag, const QString& name, const QString& description, const QString& stored) {
            QTest::addRow("%s", tag) << name << description << stored;
        };
        row("quotes and hash marks", "C# #2", "it's #1/1/2026#", "it's #1/1/2026#");
        row("empty description", "n", "", " ");
        row("non-ASCII", QString::fromUtf8("Ärger 日本語"), QString::fromUtf8("naïve 🙂"),
            QString::fromUtf8("naïve 🙂"));
        // Half of a character, as a cut-off paste leaves it, and a NUL: replaced, not refused.
        row("half a character", "n", QStringLiteral("x\xD83D'y\0z"), QStringLiteral("x\xFFFD'y\xFFFDz"));
    }
    void textsStoredUnchanged()
    {
        QFETCH(QString, name);
        QFETCH(QString, description);
        QFETCH(QString, storedDescription);
        TempDatabase db;
        AddProjectRecord(name, description);
        LoadProjects();
        QCOMPARE(gProjects->Count(), 1);
        QCOMPARE(gProjects->Name(), name);
        QCOMPARE(gProjects->Description(), storedDescription);
    }

    // The moments are written in the regional notation and read back by the database layer.
    void periodsUnderOtherLocales_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char* locale : {"de_DE", "ja_JP", "C"})
            QTest::addRow("%s", locale) << QString::fromLatin1(locale);
    }
    void periodsUnderOtherLocales()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        TempDatabase db;
        const double start = At(2026, 12, 31, 23, 30, 15), end = At(2027, 1, 1);
        AddTimePeriodRecord(1, start, end);
        const auto stored = db.rows(QStringLiteral("SELECT StartTime, EndTime FROM tblTimePeriod"));
        QCOMPARE(std::llround(stored.at(0).at(0).toDouble() * 86400), std::llround(start * 86400));
        QCOMPARE(std::llround(stored.at(0).at(1).toDouble() * 86400), std::llround(end * 86400));
    }

    // Periods of no listed project (none made active, or one deleted) count for none.
    void totals()
    {
        TempDatabase db;
        const qint64 b = db.insertProject(QStringLiteral("beta"));
        db.insertPeriod(db.insertProject(QStringLiteral("Alpha")), 100.0, 100.0625);
        db.insertProject(QStringLiteral("gamma"));
        db.insertPeriod(b, 100.0, 100.25);
        db.insertPeriod(b, 101.0, 101.25);
        db.insertPeriod(0, 1.0, 2.0);
        LoadProjects();
        QStringList shown;
        gProjects->MoveFirst();
        for (int i = 0; i < gProjects->Count(); ++i, gProjects->MoveNext())
            shown << gProjects->Name() + QLatin1Char('=') + MinutesText(DaysToMinutes(gProjects->TotalTime()));
        QCOMPARE(shown.join(QLatin1Char(' ')), QStringLiteral("Alpha=90 beta=720 gamma=0"));
        QVERIFY_THROWS_EXCEPTION(AppError, DaysToMinutes(DBL_MAX));
    }

    // The second statement fails: the first is undone, and the file is free for the next one.
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
        db.exec(QStringLiteral("DROP TRIGGER refuse"));
        DeleteProjectRecord(id);
        QCOMPARE(db.rows(counts).at(0), QVariantList({0, 0}));
    }
};

QTEST_GUILESS_MAIN(tst_modGlobal)
#include "tst_modGlobal.moc"