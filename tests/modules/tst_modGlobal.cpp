#include "TestDb.h"

#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "platform/AppError.h"
#include "platform/Regional.h"

#include <QLocale>
#include <QtTest>

#include <cfloat>

namespace {

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return MomentFromDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

const QStringList kLocales = {QStringLiteral("en_US"), QStringLiteral("en_GB"), QStringLiteral("de_DE"),
                              QStringLiteral("ja_JP"), QStringLiteral("C")};

} // namespace

class tst_modGlobal : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void connectionString();
    void statementTexts();
    void textsStoredUnchanged_data();
    void textsStoredUnchanged();
    void periodsUnderEveryLocale_data();
    void periodsUnderEveryLocale();
    void totalsAndNameOrder();
    void deletedIDsAreNotGivenAgain();
    void deletionIsAllOrNothing();
    void missingDatabaseIsAnErrorAndStaysMissing();
    void keys_data();
    void keys();
};

void tst_modGlobal::connectionString()
{
    QCOMPARE(ConnectionStringFor(QStringLiteral("/opt/tools/")),
             QStringLiteral("DRIVER=Microsoft Access Driver (*.mdb);DBQ=/opt/tools/Tallyclock.mdb;"));
    QCOMPARE(ConnectionStringFor(QStringLiteral("/")), QStringLiteral("DRIVER=Microsoft Access Driver (*.mdb);DBQ=/Tallyclock.mdb;"));
    const QString app = GetAppPath();
    QVERIFY(app.endsWith(QLatin1Char('/')));
    QVERIFY(!app.endsWith(QStringLiteral("//")));
    QCOMPARE(app, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
}

void tst_modGlobal::statementTexts()
{
    TempDatabase db;
    StatementLog log;
    AddProjectRecord(QStringLiteral("Client's site"), QString());
    AddProjectRecord(QStringLiteral("It's done"), QStringLiteral("Two\nlines, it's"));
    AddTimePeriodRecord(7, At(2026, 12, 5, 17, 42, 21), At(2026, 12, 6));
    LoadProjects();
    DeleteProjectRecord(12);
    QCOMPARE(log.statements(),
             QStringList({
                 QStringLiteral("INSERT INTO tblProject(Name,Description) VALUES('Client''s site',' ')"),
                 QStringLiteral("INSERT INTO tblProject(Name,Description) VALUES('It''s done','Two\nlines, it''s')"),
                 QStringLiteral("INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(7,#12/5/2026 5:42:21 PM#,#12/6/2026#)"),
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
    QTest::newRow("apostrophes") << "Client's site" << "it's 'quoted'" << "it's 'quoted'";
    QTest::newRow("empty description") << "a" << "" << " ";
    QTest::newRow("blank name") << " " << " x " << " x ";
    QTest::newRow("hash marks") << "C# #2" << "#1/1/2026# and #" << "#1/1/2026# and #";
    QTest::newRow("line breaks") << "n" << "line 1\r\nline 2\n" << "line 1\r\nline 2\n";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Ärger & Ωmega 日本語") << QString::fromUtf8("naïve 🙂") << QString::fromUtf8("naïve 🙂");
    QTest::newRow("SQL-like") << "x'); DROP TABLE tblProject; --" << "--" << "--";
    QTest::newRow("fifty characters") << QString(50, QLatin1Char('W')) << "d" << "d";
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
    QVERIFY(gProjects->MoveFirst());
    QCOMPARE(gProjects->Name(), name);
    QCOMPARE(gProjects->Description(), storedDescription);
    QCOMPARE(gProjects->TotalTime(), 0.0);
}

void tst_modGlobal::periodsUnderEveryLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("startText");
    const QStringList texts = {QStringLiteral("12/5/2026 5:42:21 PM"), QStringLiteral("05/12/2026 17:42:21"),
                               QStringLiteral("05.12.2026 17:42:21"), QString::fromUtf8("2026/12/05 17時42分21秒"),
                               QStringLiteral("5 Dec 2026 17:42:21")};
    for (int i = 0; i < kLocales.size(); ++i)
        QTest::newRow(qPrintable(kLocales[i])) << kLocales[i] << texts[i];
}

void tst_modGlobal::periodsUnderEveryLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, startText);
    QLocale::setDefault(QLocale(locale));
    TempDatabase db;
    const qint64 id = db.insertProject(QStringLiteral("p"));
    StatementLog log;
    const QList<QPair<double, double>> periods = {
        {At(2026, 12, 5, 17, 42, 21), At(2026, 12, 5, 19, 12, 21)}, // 90 minutes
        {At(2026, 12, 31, 23, 30), At(2027, 1, 1, 0, 15)},          // across midnight
        {At(2026, 12, 7), At(2026, 12, 7)},                         // at midnight, length zero
        {At(2026, 3, 8, 1, 30), At(2026, 3, 8, 3, 30)},             // across a clock change
    };
    for (const auto& p : periods)
        AddTimePeriodRecord(static_cast<qint32>(id), p.first, p.second);
    // The moments are written in the region's own notation.
    QVERIFY2(log.statements().at(0).startsWith(
                 QStringLiteral("INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(%1,#%2#,#").arg(id).arg(startText)),
             qPrintable(log.statements().at(0)));
    const auto rows = db.rows(QStringLiteral("SELECT StartTime, EndTime FROM tblTimePeriod ORDER BY TimePeriodID"));
    QCOMPARE(rows.size(), size_t(periods.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        QCOMPARE(std::llround(rows[i][0].toDouble() * 86400), std::llround(periods[int(i)].first * 86400));
        QCOMPARE(std::llround(rows[i][1].toDouble() * 86400), std::llround(periods[int(i)].second * 86400));
    }
    LoadProjects();
    QVERIFY(gProjects->GotoID(static_cast<qint32>(id)));
    QCOMPARE(MinutesText(DaysToMinutes(gProjects->TotalTime())), QLocale().toString(90 + 45 + 0 + 120));
}

void tst_modGlobal::totalsAndNameOrder()
{
    TempDatabase db;
    const qint64 b = db.insertProject(QStringLiteral("beta"));
    const qint64 a = db.insertProject(QStringLiteral("Alpha"));
    db.insertProject(QStringLiteral("gamma"));
    db.insertPeriod(a, 100.0, 100.0625);
    db.insertPeriod(b, 100.0, 100.25);
    db.insertPeriod(b, 101.0, 101.25);
    LoadProjects();
    QStringList names, minutes;
    gProjects->MoveFirst();
    for (int i = 0; i < gProjects->Count(); ++i, gProjects->MoveNext()) {
        names << gProjects->Name();
        minutes << MinutesText(DaysToMinutes(gProjects->TotalTime()));
    }
    QCOMPARE(names, QStringList({QStringLiteral("Alpha"), QStringLiteral("beta"), QStringLiteral("gamma")}));
    QCOMPARE(minutes, QStringList({QStringLiteral("90"), QStringLiteral("720"), QStringLiteral("0")}));
    QVERIFY_THROWS_EXCEPTION(AppError, DaysToMinutes(DBL_MAX));
    // Loading again mirrors the database in full.
    db.exec(QStringLiteral("DELETE FROM tblProject WHERE Name='gamma'"));
    LoadProjects();
    QCOMPARE(gProjects->Count(), 2);
}

void tst_modGlobal::deletedIDsAreNotGivenAgain()
{
    TempDatabase db;
    AddProjectRecord(QStringLiteral("a"), QString());
    AddProjectRecord(QStringLiteral("b"), QString());
    const qint32 last = db.scalar(QStringLiteral("SELECT MAX(ProjectID) FROM tblProject")).toInt();
    AddTimePeriodRecord(last, 1.0, 2.0);
    DeleteProjectRecord(last);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM tblTimePeriod")).toInt(), 0);
    AddProjectRecord(QStringLiteral("c"), QString());
    QVERIFY(db.scalar(QStringLiteral("SELECT MAX(ProjectID) FROM tblProject")).toInt() > last);
    // A timing stored for the deleted project (or for none) joins no listed project.
    AddTimePeriodRecord(last, 1.0, 2.0);
    AddTimePeriodRecord(0, 1.0, 2.0);
    LoadProjects();
    for (gProjects->MoveFirst(); gProjects->Count() > 0;) {
        QCOMPARE(gProjects->TotalTime(), 0.0);
        if (!gProjects->MoveNext())
            break;
    }
}

void tst_modGlobal::deletionIsAllOrNothing()
{
    TempDatabase db;
    const qint64 id = db.insertProject(QStringLiteral("kept"));
    db.insertPeriod(id, 1.0, 2.0);
    db.insertPeriod(id, 3.0, 4.0);
    // The second statement fails: the first must be undone.
    db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON tblProject BEGIN SELECT RAISE(ABORT, 'project is protected'); END"));
    try {
        DeleteProjectRecord(static_cast<qint32>(id));
        QFAIL("no error");
    } catch (const AppError& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("project is protected")), e.what());
    }
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM tblTimePeriod")).toInt(), 2);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM tblProject")).toInt(), 1);
    // The file is left free for the next operation.
    db.exec(QStringLiteral("DROP TRIGGER refuse"));
    DeleteProjectRecord(static_cast<qint32>(id));
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM tblTimePeriod")).toInt(), 0);
}

void tst_modGlobal::missingDatabaseIsAnErrorAndStaysMissing()
{
    QTemporaryDir dir;
    gProjects = std::make_unique<clsProject>();
    gConnectionString = ConnectionStringFor(dir.path() + QLatin1Char('/'));
    QVERIFY_THROWS_EXCEPTION(AppError, LoadProjects());
    QVERIFY_THROWS_EXCEPTION(AppError, AddProjectRecord(QStringLiteral("a"), QString()));
    QVERIFY_THROWS_EXCEPTION(AppError, AddTimePeriodRecord(1, 1.0, 2.0));
    QVERIFY_THROWS_EXCEPTION(AppError, DeleteProjectRecord(1));
    QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

void tst_modGlobal::keys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("id");
    QTest::newRow("KEY12") << "KEY12" << true << 12;
    QTest::newRow("KEY7") << "KEY7" << true << 7;
    QTest::newRow("KEY0") << "KEY0" << true << 0;
    QTest::newRow("largest") << "KEY2147483647" << true << 2147483647;
    QTest::newRow("no number") << "KEY" << false << 0;
    QTest::newRow("other prefix") << "ID12" << false << 0;
    QTest::newRow("too large") << "KEY2147483648" << false << 0;
}

void tst_modGlobal::keys()
{
    QFETCH(QString, key);
    QFETCH(bool, valid);
    QFETCH(int, id);
    if (!valid) {
        QVERIFY_THROWS_EXCEPTION(AppError, IDFromKey(key));
        return;
    }
    QCOMPARE(IDFromKey(key), id);
    QCOMPARE(KeyFromID(id), key);
}

QTEST_GUILESS_MAIN(tst_modGlobal)
#include "tst_modGlobal.moc"
