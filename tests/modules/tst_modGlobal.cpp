#include "TestDb.h"

#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "platform/AppError.h"
#include "platform/Regional.h"

#include <QLocale>
#include <QtTest>

#include <cfloat>

namespace {

int Count(const TempDatabase& db, const char* table)
{
    return db.scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toInt();
}

} // namespace

class tst_modGlobal : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void pathsAndKeys();
    void statementTexts();
    void textsStoredUnchanged_data();
    void textsStoredUnchanged();
    void periodsUnderEveryLocale_data();
    void periodsUnderEveryLocale();
    void totalsAndNameOrder();
    void deletion();
};

void tst_modGlobal::pathsAndKeys()
{
    QCOMPARE(ConnectionStringFor(QStringLiteral("/opt/tools/")),
             QStringLiteral("DRIVER=Microsoft Access Driver (*.mdb);DBQ=/opt/tools/Tallyclock.mdb;"));
    QCOMPARE(ConnectionStringFor(QStringLiteral(" a;DBQ={b}/")),
             QStringLiteral("DRIVER=Microsoft Access Driver (*.mdb);DBQ={ a;DBQ={b}}/Tallyclock.mdb};"));
    QCOMPARE(GetAppPath(), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    QCOMPARE(IDFromKey(QStringLiteral("KEY12")), 12);
    QCOMPARE(KeyFromID(2147483647), QStringLiteral("KEY2147483647"));
    for (const char* bad : {"KEY", "ID12", "KEY2147483648"})
        QVERIFY_THROWS_EXCEPTION(AppError, IDFromKey(QLatin1String(bad)));
}

void tst_modGlobal::statementTexts()
{
    TempDatabase db;
    StatementLog log;
    AddProjectRecord(QStringLiteral("Client's site"), QString());
    AddTimePeriodRecord(7, At(2026, 12, 5, 17, 42, 21), At(2026, 12, 6));
    LoadProjects();
    DeleteProjectRecord(12);
    QCOMPARE(
        log.statements(),
        QStringList({
            QStringLiteral("INSERT INTO tblProject(Name,Description) VALUES('Client''s site',' ')"),
            QStringLiteral(
                "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(7,#12/5/2026 5:42:21 PM#,#12/6/2026#)"),
            QStringLiteral("SELECT * FROM qryProject ORDER BY Name"),
            QStringLiteral("BeginTrans"),
            QStringLiteral("DELETE FROM tblTimePeriod WHERE ProjectID=12"),
            QStringLiteral("DELETE FROM tblProject WHERE ProjectID=12"),
            QStringLiteral("CommitTrans"),
        }));
}

void tst_modGlobal::textsStoredUnchanged_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("storedDescription");
    QTest::newRow("apostrophes") << "Client's site"
                                 << "it's 'quoted'"
                                 << "it's 'quoted'";
    QTest::newRow("empty description") << " "
                                       << ""
                                       << " ";
    QTest::newRow("hash marks") << "C# #2"
                                << "#1/1/2026# and #"
                                << "#1/1/2026# and #";
    QTest::newRow("line breaks") << "n"
                                 << "line 1\r\nline 2\n"
                                 << "line 1\r\nline 2\n";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Ärger Ωmega 日本語") << QString::fromUtf8("naïve 🙂")
                               << QString::fromUtf8("naïve 🙂");
    QTest::newRow("SQL-like") << "x'); DROP TABLE tblProject; --"
                              << "a; b"
                              << "a; b";
    // Half of a character, as a cut-off paste leaves it, and a NUL: replaced, not refused.
    QTest::newRow("half a character") << "n" << QStringLiteral("x\xD83D''y\0z") << QStringLiteral("x\xFFFD''y\xFFFDz");
}

void tst_modGlobal::textsStoredUnchanged()
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

void tst_modGlobal::periodsUnderEveryLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("startText");
    QTest::newRow("en_US") << "en_US"
                           << "12/5/2026 5:42:21 PM";
    QTest::newRow("en_GB") << "en_GB"
                           << "05/12/2026 17:42:21";
    QTest::newRow("de_DE") << "de_DE"
                           << "05.12.2026 17:42:21";
    QTest::newRow("ja_JP") << "ja_JP" << QString::fromUtf8("2026/12/05 17時42分21秒");
    QTest::newRow("C") << "C"
                       << "5 Dec 2026 17:42:21";
}

void tst_modGlobal::periodsUnderEveryLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, startText);
    QLocale::setDefault(QLocale(locale));
    TempDatabase db;
    const qint32 id = static_cast<qint32>(db.insertProject(QStringLiteral("p")));
    const QList<QPair<double, double>> periods = {
        {At(2026, 12, 5, 17, 42, 21), At(2026, 12, 5, 19, 12, 21)}, // 90 minutes
        {At(2026, 12, 31, 23, 30), At(2027, 1, 1, 0, 15)}, // across midnight
        {At(2026, 12, 7), At(2026, 12, 7)}, // at midnight, length zero
        {At(2026, 3, 8, 1, 30), At(2026, 3, 8, 3, 30)}, // across a clock change
    };
    StatementLog log;
    for (const auto& p : periods)
        AddTimePeriodRecord(id, p.first, p.second);
    QVERIFY2(log.statements().at(0).startsWith(
                 QStringLiteral("INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(%1,#%2#,#")
                     .arg(id)
                     .arg(startText)),
             qPrintable(log.statements().at(0)));
    const auto rows = db.rows(QStringLiteral("SELECT StartTime, EndTime FROM tblTimePeriod ORDER BY TimePeriodID"));
    for (size_t i = 0; i < rows.size(); ++i) {
        QCOMPARE(std::llround(rows[i][0].toDouble() * 86400), std::llround(periods[int(i)].first * 86400));
        QCOMPARE(std::llround(rows[i][1].toDouble() * 86400), std::llround(periods[int(i)].second * 86400));
    }
    LoadProjects();
    QCOMPARE(MinutesText(DaysToMinutes(gProjects->TotalTime())), QLocale().toString(90 + 45 + 0 + 120));
}

void tst_modGlobal::totalsAndNameOrder()
{
    TempDatabase db;
    const qint64 b = db.insertProject(QStringLiteral("beta"));
    db.insertPeriod(db.insertProject(QStringLiteral("Alpha")), 100.0, 100.0625);
    db.insertProject(QStringLiteral("gamma"));
    db.insertPeriod(b, 100.0, 100.25);
    db.insertPeriod(b, 101.0, 101.25);
    // Periods of no listed project (none made active, or one deleted) count for none.
    db.insertPeriod(0, 1.0, 2.0);
    LoadProjects();
    QStringList shown;
    gProjects->MoveFirst();
    for (int i = 0; i < gProjects->Count(); ++i, gProjects->MoveNext())
        shown << gProjects->Name() + QLatin1Char('=') + MinutesText(DaysToMinutes(gProjects->TotalTime()));
    QCOMPARE(shown, QStringList({QStringLiteral("Alpha=90"), QStringLiteral("beta=720"), QStringLiteral("gamma=0")}));
    QVERIFY_THROWS_EXCEPTION(AppError, DaysToMinutes(DBL_MAX));
}

void tst_modGlobal::deletion()
{
    TempDatabase db;
    const qint32 id = static_cast<qint32>(db.insertProject(QStringLiteral("kept")));
    db.insertPeriod(id, 1.0, 2.0);
    db.insertPeriod(id, 3.0, 4.0);
    // The second statement fails: the first must be undone.
    db.exec(QStringLiteral(
        "CREATE TRIGGER refuse BEFORE DELETE ON tblProject BEGIN SELECT RAISE(ABORT, 'project is protected'); END"));
    try {
        DeleteProjectRecord(id);
        QFAIL("no error");
    } catch (const AppError& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("project is protected")), e.what());
    }
    QCOMPARE(Count(db, "tblTimePeriod"), 2);
    QCOMPARE(Count(db, "tblProject"), 1);
    // The file is left free for the next operation, and a deleted ID is never given again.
    db.exec(QStringLiteral("DROP TRIGGER refuse"));
    DeleteProjectRecord(id);
    QCOMPARE(Count(db, "tblTimePeriod") + Count(db, "tblProject"), 0);
    AddProjectRecord(QStringLiteral("new"), QString());
    QVERIFY(db.scalar(QStringLiteral("SELECT ProjectID FROM tblProject")).toInt() > id);
}

QTEST_GUILESS_MAIN(tst_modGlobal)
#include "tst_modGlobal.moc"
