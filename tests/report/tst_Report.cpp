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

// CSV lines end in CR LF; the expected texts are written with LF alone.
QString Crlf(const char* text)
{
    return QString::fromUtf8(text).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

} // namespace

// The report program run as a process on one database, and its library on others.
class tst_Report : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempDatabase> db_;
    QByteArray bytes_;

    ProgramRun Run(const QStringList& args, const QString& locale = QStringLiteral("en_US.UTF-8")) const
    {
        return RunReport(QStringList{QStringLiteral("--database"), db_->path()} + args, locale);
    }

private slots:
    // The week of Monday 30 November 2026; one period the week before, one of no project, one
    // that ends before it starts.
    void initTestCase()
    {
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
    void cleanupTestCase()
    {
        // No run of the report changed a byte of the file.
        QCOMPARE(FileBytes(db_->path()), bytes_);
    }

    void summaries_data();
    void summaries()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        const ProgramRun run = Run(args, locale);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, expected);
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expected");
        QTest::addRow("bad date") << QStringList{"--from", "2026-13-01"} << 2
                                  << "\"2026-13-01\" given to --from is not a date (2026-12-01 or the regional date).";
        QTest::addRow("unknown project") << QStringList{"--project", "Gamma"} << 2
                                         << "There is no project named \"Gamma\".";
        QTest::addRow("missing database") << QStringList{"--database", "/nowhere/Tallyclock.mdb"} << 1
                                          << "The database file \"/nowhere/Tallyclock.mdb\" does not exist.";
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, expected);
        const ProgramRun run = Run(args);
        QCOMPARE(run.status, status);
        QCOMPARE(run.err, QStringLiteral("tallyclock-report: %1\n").arg(expected));
        QCOMPARE(run.out, QString());
    }

    void jsonByWeek();
    void thisWeekByDefault()
    {
        const QDate monday = QDate::currentDate().addDays(1 - QDate::currentDate().dayOfWeek());
        const QString from = monday.toString(Qt::ISODate), to = monday.addDays(6).toString(Qt::ISODate);
        QCOMPARE(Run({}).out, Run({"--from", from, "--to", to}).out);
    }

    // Over all the time, each project's sum is the main window's "Total Time" to the digit shown;
    // split into days it still adds up to the same.
    void totalsAsTheMainWindowShows()
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
        Connection cn;
        OpenReportDatabase(cn, db.path());
        ReportOptions o;
        o.by = Grouping::Project;
        const ReportData byProject = BuildReport(cn, o);
        o.by = Grouping::Day;
        const ReportData byDay = BuildReport(cn, o);
        QCOMPARE(byDay.rows.size(), size_t(32));
        for (size_t r = 0; r < byProject.rows.size(); ++r) {
            const ReportRow& row = byProject.rows[r];
            QCOMPARE(byDay.rows[r].projectID, row.projectID);
            QVERIFY(qAbs(MinutesFromDays(byDay.rows[r].total - row.total)) < 1e-6);
            if (gProjects->GotoID(row.projectID)) // the two of no project are not in the window
                QCOMPARE(MinutesText(MinutesFromDays(row.total)), MinutesText(DaysToMinutes(gProjects->TotalTime())));
        }
    }

    // The report's connection cannot write at all.
    void neverWrites()
    {
        Connection cn;
        OpenReportDatabase(cn, db_->path());
        QVERIFY_THROWS_EXCEPTION(AppError, cn.Execute(QStringLiteral("DELETE FROM tblTimePeriod")));
    }
};

void tst_Report::summaries_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");
    const QStringList week{"--from", "2026-11-30", "--to", "2026-12-06"};
    const QString en = QStringLiteral("en_US.UTF-8"), de = QStringLiteral("de_DE.UTF-8");
    QTest::addRow("table by day")
        << week << en
        << QStringLiteral(
               R"g(Project         Mon 11/30/2026  Tue 12/1/2026  Wed 12/2/2026  Thu 12/3/2026  Fri 12/4/2026  Sat 12/5/2026  Sun 12/6/2026  Total
Alpha                    01:30          01:00          01:00                                                              03:30  ####################
beta "B", Ltd                                                         00:46                                               00:46  ####
Zeta                                                                                 00:30                                00:30  ###
(no project) 0                                                                                      00:20                 00:20  ##
Total                    01:30          01:00          01:00          00:46          00:30          00:20          00:00  05:05
)g");
    QTest::addRow("regional dates") << QStringList{"--from", "30.11.2026", "--to", "1.12.26", "--project", "alpha"}
                                    << de << QStringLiteral(R"g(Project  Mo. 30.11.2026  Di. 01.12.2026  Total
Alpha             01:30           01:00  02:30  ####################
Total             01:30           01:00  02:30
)g");
    QTest::addRow("csv by day, split at midnight")
        << week + QStringList{"--format", "csv"} << de << Crlf(R"g(project_id,project,start,end,minutes
1,Alpha,2026-11-30T00:00:00,2026-12-01T00:00:00,90
1,Alpha,2026-12-01T00:00:00,2026-12-02T00:00:00,60
1,Alpha,2026-12-02T00:00:00,2026-12-03T00:00:00,60
3,"beta ""B"", Ltd",2026-12-03T00:00:00,2026-12-04T00:00:00,45.5
2,Zeta,2026-12-04T00:00:00,2026-12-05T00:00:00,30
0,(no project),2026-12-05T00:00:00,2026-12-06T00:00:00,20
)g");
    QTest::addRow("table by month") << QStringList{"--all", "--by", "month", "--project", "alpha"} << en
                                    << QStringLiteral(R"g(Project  Nov 2026  Dec 2026  Total
Alpha       02:30     02:00  04:30  ####################
Total       02:30     02:00  04:30
)g");
    QTest::addRow("all by project, chosen")
        << QStringList{"--all", "--project", "ALPHA", "--project", "zeta", "--format", "csv"} << en
        << Crlf(R"g(project_id,project,start,end,minutes
1,Alpha,,,270
2,Zeta,,,30
)g");
    QTest::addRow("periods from a day on") << QStringList{"periods", "--from", "2026-12-03", "--format", "csv"} << en
                                           << Crlf(R"g(project_id,project,start,end,minutes
0,(no project),2026-12-05T14:00:00,2026-12-05T14:20:00,20
2,Zeta,2026-12-04T10:00:00,2026-12-04T09:30:00,-30
2,Zeta,2026-12-04T12:00:00,2026-12-04T13:00:00,60
3,"beta ""B"", Ltd",2026-12-03T08:00:00,2026-12-03T08:45:30,45.5
)g");
}

// Read back as the document it is meant to be.
void tst_Report::jsonByWeek()
{
    const ProgramRun run = Run({"--all", "--by", "week", "--format", "json"});
    const QByteArray expected =
        R"g([{"end":"2026-11-23T00:00:00","minutes":60,"project":"Alpha","project_id":1,"start":"2026-11-20T00:00:00"},{"end":"2026-12-06T00:00:00","minutes":210,"project":"Alpha","project_id":1,"start":"2026-11-30T00:00:00"},{"end":"2026-12-06T00:00:00","minutes":45.5,"project":"beta \"B\", Ltd","project_id":3,"start":"2026-11-30T00:00:00"},{"end":"2026-12-06T00:00:00","minutes":30,"project":"Zeta","project_id":2,"start":"2026-11-30T00:00:00"},{"end":"2026-12-06T00:00:00","minutes":20,"project":"(no project)","project_id":0,"start":"2026-11-30T00:00:00"}])g";
    QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8()).toJson(QJsonDocument::Compact), expected);
}

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_Report.moc"