#include "TestDb.h"

#include "classes/clsProject.h"
#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "platform/AppError.h"
#include "platform/Database.h"
#include "report/Report.h"

#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <sqlite3.h>

#include <ctime>

namespace {

struct ProgramRun
{
    int status;
    QString out, err;
};

ProgramRun RunReport(const QStringList& args, const QString& locale = QStringLiteral("en_US.UTF-8"))
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), locale);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TALLYCLOCK_REPORT_EXE), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QByteArray FileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ReportData Report(const TempDatabase& db, ReportOptions o)
{
    Connection cn;
    OpenReportDatabase(cn, db.path());
    return BuildReport(cn, o);
}

} // namespace

class tst_Report : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void outputs_data();
    void outputs();
    void thisWeekByDefault();
    void daylightSavingDays();
    void totalsAsTheMainWindowShows();
    void readsWhileAnotherHoldsTheWriteLock();

private:
    std::unique_ptr<TempDatabase> db_;
    QByteArray bytes_;
};

// The week of Monday 30 November 2026; one period the week before.
void tst_Report::initTestCase()
{
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    db_ = std::make_unique<TempDatabase>();
    const qint64 alpha = db_->insertProject(QStringLiteral("Alpha"));
    const qint64 zeta = db_->insertProject(QStringLiteral("Zeta"));
    const qint64 beta = db_->insertProject(QStringLiteral("beta \"B\", Ltd"));
    db_->insertPeriod(alpha, At(2026, 11, 30, 9), At(2026, 11, 30, 10, 30));
    db_->insertPeriod(alpha, At(2026, 12, 1, 23), At(2026, 12, 2, 1));
    db_->insertPeriod(alpha, At(2026, 11, 20, 10), At(2026, 11, 20, 11));
    db_->insertPeriod(beta, At(2026, 12, 3, 8), At(2026, 12, 3, 8, 45, 30));
    db_->insertPeriod(zeta, At(2026, 12, 4, 10), At(2026, 12, 4, 9, 30));
    db_->insertPeriod(zeta, At(2026, 12, 4, 12), At(2026, 12, 4, 13));
    db_->insertPeriod(0, At(2026, 12, 5, 14), At(2026, 12, 5, 14, 20));
    bytes_ = FileBytes(db_->path());
}

void tst_Report::cleanupTestCase()
{
    // No run of the report changed a byte of the file.
    QCOMPARE(FileBytes(db_->path()), bytes_);
    db_.reset();
}

void tst_Report::outputs_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected"); // standard output, or the error line

    const QStringList week{QStringLiteral("--from"), QStringLiteral("2026-11-30"), QStringLiteral("--to"),
                           QStringLiteral("2026-12-06")};
    const QString en = QStringLiteral("en_US.UTF-8");
    QTest::newRow("table by day")
        << week << en << 0
        << QStringLiteral(
               R"g(Project         Mon 11/30/2026  Tue 12/1/2026  Wed 12/2/2026  Thu 12/3/2026  Fri 12/4/2026  Sat 12/5/2026  Sun 12/6/2026  Total
Alpha                    01:30          01:00          01:00                                                              03:30  ####################
beta "B", Ltd                                                         00:46                                               00:46  ####
Zeta                                                                                 00:30                                00:30  ###
(no project) 0                                                                                      00:20                 00:20  ##
Total                    01:30          01:00          01:00          00:46          00:30          00:20          00:00  05:05
)g");
    QTest::newRow("table in German, regional dates")
        << QStringList{"--from", "30.11.2026", "--to", "2.12.26", "--project", "alpha"} << QStringLiteral("de_DE.UTF-8")
        << 0 << QStringLiteral(R"g(Project  Mo. 30.11.2026  Di. 01.12.2026  Mi. 02.12.2026  Total
Alpha             01:30           01:00           01:00  03:30  ####################
Total             01:30           01:00           01:00  03:30
)g");
    QTest::newRow("csv by day, split at midnight, quoted")
        << week + QStringList{"--format", "csv"} << QStringLiteral("de_DE.UTF-8") << 0
        << QStringLiteral(R"g(project_id,project,start,end,minutes
1,Alpha,2026-11-30T00:00:00,2026-12-01T00:00:00,90
1,Alpha,2026-12-01T00:00:00,2026-12-02T00:00:00,60
1,Alpha,2026-12-02T00:00:00,2026-12-03T00:00:00,60
3,"beta ""B"", Ltd",2026-12-03T00:00:00,2026-12-04T00:00:00,45.5
2,Zeta,2026-12-04T00:00:00,2026-12-05T00:00:00,30
0,(no project),2026-12-05T00:00:00,2026-12-06T00:00:00,20
)g");
    QTest::newRow("json by week")
        << QStringList{"--all", "--by", "week", "--format", "json"} << en << 0
        << QStringLiteral(
               R"g([{"end":"2026-11-23T00:00:00","minutes":60,"project":"Alpha","project_id":1,"start":"2026-11-20T00:00:00"},{"end":"2026-12-06T00:00:00","minutes":210,"project":"Alpha","project_id":1,"start":"2026-11-30T00:00:00"},{"end":"2026-12-06T00:00:00","minutes":45.5,"project":"beta \"B\", Ltd","project_id":3,"start":"2026-11-30T00:00:00"},{"end":"2026-12-06T00:00:00","minutes":30,"project":"Zeta","project_id":2,"start":"2026-11-30T00:00:00"},{"end":"2026-12-06T00:00:00","minutes":20,"project":"(no project)","project_id":0,"start":"2026-11-30T00:00:00"}])g");
    QTest::newRow("table by month") << QStringList{"--all", "--by", "month", "--project", "alpha"} << en << 0
                                    << QStringLiteral(R"g(Project  Nov 2026  Dec 2026  Total
Alpha       02:30     02:00  04:30  ####################
Total       02:30     02:00  04:30
)g");
    QTest::newRow("all by project, chosen")
        << QStringList{"--all", "--project", "ALPHA", "--project", "zeta", "--format", "csv"} << en << 0
        << QStringLiteral(R"g(project_id,project,start,end,minutes
1,Alpha,,,270
2,Zeta,,,30
)g");
    QTest::newRow("periods") << QStringList{"periods", "--all", "--format", "csv"} << en << 0
                             << QStringLiteral(R"g(project_id,project,start,end,minutes
0,(no project),2026-12-05T14:00:00,2026-12-05T14:20:00,20
1,Alpha,2026-11-20T10:00:00,2026-11-20T11:00:00,60
1,Alpha,2026-11-30T09:00:00,2026-11-30T10:30:00,90
1,Alpha,2026-12-01T23:00:00,2026-12-02T01:00:00,120
2,Zeta,2026-12-04T10:00:00,2026-12-04T09:30:00,-30
2,Zeta,2026-12-04T12:00:00,2026-12-04T13:00:00,60
3,"beta ""B"", Ltd",2026-12-03T08:00:00,2026-12-03T08:45:30,45.5
)g");
    QTest::newRow("bad date")
        << QStringList{"--from", "2026-13-01"} << en << 2
        << QStringLiteral(
               "tallyclock-report: \"2026-13-01\" given to --from is not a date (2026-12-01 or the regional date).\n");
    QTest::newRow("unknown project") << QStringList{"--project", "Gamma"} << en << 2
                                     << QStringLiteral("tallyclock-report: There is no project named \"Gamma\".\n");
    QTest::newRow("unknown option") << QStringList{"--colour"} << en << 2
                                    << QStringLiteral("tallyclock-report: Unknown option 'colour'.\n");
    QTest::newRow("missing database")
        << QStringList{"--database", "/nowhere/Tallyclock.mdb"} << en << 1
        << QStringLiteral("tallyclock-report: The database file \"/nowhere/Tallyclock.mdb\" does not exist.\n");
}

void tst_Report::outputs()
{
    QFETCH(QStringList, args);
    QFETCH(QString, locale);
    QFETCH(int, status);
    QFETCH(QString, expected);
    const ProgramRun run = RunReport(QStringList{QStringLiteral("--database"), db_->path()} + args, locale);
    QCOMPARE(run.status, status);
    const QString& text = status == 0 ? run.out : run.err;
    if (text.startsWith(QLatin1Char('['))) {
        // Read back as the document it is meant to be.
        const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
        QVERIFY(doc.isArray());
        QCOMPARE(doc.toJson(QJsonDocument::Compact), expected.toUtf8());
    } else {
        // CSV lines end in CR LF; the expected texts above are written with LF alone.
        QCOMPARE(text,
                 text.contains(QLatin1Char('\r')) ? QString(expected).replace(QLatin1Char('\n'), QLatin1String("\r\n"))
                                                  : expected);
    }
}

void tst_Report::thisWeekByDefault()
{
    const QDate today = QDate::currentDate();
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    const ProgramRun plain = RunReport({QStringLiteral("--database"), db_->path()});
    const ProgramRun week = RunReport({QStringLiteral("--database"), db_->path(), QStringLiteral("--from"),
                                       monday.toString(Qt::ISODate), QStringLiteral("--to"),
                                       monday.addDays(6).toString(Qt::ISODate)});
    QCOMPARE(plain.status, 0);
    QCOMPARE(plain.out, week.out);
}

// Wall-clock time: a whole 23-hour or 25-hour day counts 1440 minutes, as the main window counts it.
void tst_Report::daylightSavingDays()
{
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const auto restoreZone = qScopeGuard([&] {
        hadZone ? qputenv("TZ", oldZone) : qunsetenv("TZ");
        tzset();
    });
    TempDatabase db;
    const qint64 id = db.insertProject(QStringLiteral("Night shift"));
    db.insertPeriod(id, At(2026, 3, 28, 22), At(2026, 3, 30, 2));
    db.insertPeriod(id, At(2026, 10, 24, 23), At(2026, 10, 26, 0, 30));
    ReportOptions o;
    o.from = At(2026, 3, 28);
    o.to = At(2026, 11, 1);
    const ReportData data = Report(db, o);
    QCOMPARE(data.rows.size(), size_t(1));
    const auto& days = data.rows[0].days;
    const size_t autumn = static_cast<size_t>(At(2026, 10, 24) - At(2026, 3, 28));
    QStringList shown;
    for (size_t d : {size_t(0), size_t(1), size_t(2), autumn, autumn + 1, autumn + 2})
        shown << MinutesText(MinutesFromDays(days[d]));
    QCOMPARE(shown, QStringList({"120", "1440", "120", "60", "1440", "30"}));
}

// Over all the time, each project's sum is the main window's "Total Time" to the digit shown;
// split into days it still adds up to the same.
void tst_Report::totalsAsTheMainWindowShows()
{
    TempDatabase db;
    QRandomGenerator random(20261207);
    for (int p = 0; p < 30; ++p)
        db.insertProject(QStringLiteral("P%1").arg(p));
    QStringList rows;
    for (int k = 0; k < 3000; ++k) {
        const double start = 46000 + random.bounded(86400 * 400) / 86400.0;
        const double length = (random.bounded(86400 * 2) - 8000) / 86400.0; // some negative, some past midnight
        rows << QStringLiteral("(%1,%2,%3)")
                    .arg(random.bounded(32))
                    .arg(start, 0, 'g', 17)
                    .arg(start + length, 0, 'g', 17);
    }
    db.exec(QStringLiteral("INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES")
            + rows.join(QLatin1Char(',')));
    LoadProjects();
    ReportOptions o;
    o.by = Grouping::Project;
    const ReportData byProject = Report(db, o);
    o.by = Grouping::Day;
    const ReportData byDay = Report(db, o);
    QCOMPARE(byProject.rows.size(), size_t(32));
    QCOMPARE(byDay.rows.size(), size_t(32));
    for (size_t r = 0; r < byProject.rows.size(); ++r) {
        const ReportRow& row = byProject.rows[r];
        QCOMPARE(byDay.rows[r].projectID, row.projectID);
        QVERIFY(qAbs(MinutesFromDays(byDay.rows[r].total - row.total)) < 1e-6);
        if (!gProjects->GotoID(row.projectID))
            continue; // the two of no project, which the window does not show
        QCOMPARE(MinutesText(MinutesFromDays(row.total)), MinutesText(DaysToMinutes(gProjects->TotalTime())));
    }
}

// The report's connection cannot write at all; with the program in the middle of storing
// a timing it still reads.
void tst_Report::readsWhileAnotherHoldsTheWriteLock()
{
    Connection cn;
    OpenReportDatabase(cn, db_->path());
    QVERIFY_THROWS_EXCEPTION(AppError, cn.Execute(QStringLiteral("DELETE FROM tblTimePeriod")));
    sqlite3* writer = nullptr;
    QCOMPARE(sqlite3_open(db_->path().toUtf8().constData(), &writer), SQLITE_OK);
    QCOMPARE(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const ProgramRun run = RunReport({QStringLiteral("--database"), db_->path(), QStringLiteral("--all")});
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.contains(QStringLiteral("Alpha")));
}

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_Report.moc"
