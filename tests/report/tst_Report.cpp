#include "TestDb.h"

#include "platform/AppError.h"
#include "platform/Database.h"
#include "report/Report.h"

#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

namespace {

struct ProgramRun
{
    int status;
    QString out, err;
};

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

    // The program on the test's database (unless the arguments name another), in a locale.
    ProgramRun Run(const QStringList& args, const QString& locale = QStringLiteral("en_US.UTF-8")) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), locale);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TALLYCLOCK_REPORT_EXE), QStringList{QStringLiteral("--database"), db_->path()} + args);
        p.waitForFinished(60000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

private slots:
    // The week of Monday 30 November 2026; one period the week before, one of no project, one
    // that ends before it starts, across the week's end.
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
        db_->insertPeriod(zeta, At(2026, 12, 7, 0, 15), At(2026, 12, 6, 23, 45));
        db_->insertPeriod(zeta, At(2026, 12, 4, 12), At(2026, 12, 4, 13));
        db_->insertPeriod(0, At(2026, 12, 5, 14), At(2026, 12, 5, 14, 20));
    }

    // All the program prints, on standard output and on standard error, and its exit status.
    void runs_data();
    void runs()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, locale);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const ProgramRun run = Run(args, locale);
        QCOMPARE(run.err, err);
        QCOMPARE(run.status, status);
        QCOMPARE(run.out, out);
    }

    void jsonByWeek();
    void thisWeekByDefault()
    {
        const QDate monday = QDate::currentDate().addDays(1 - QDate::currentDate().dayOfWeek());
        const QString from = monday.toString(Qt::ISODate), to = monday.addDays(6).toString(Qt::ISODate);
        QCOMPARE(Run({}).out, Run({"--from", from, "--to", to}).out);
    }

    // The report's connection cannot write at all.
    void neverWrites()
    {
        Connection cn;
        OpenReportDatabase(cn, db_->path());
        QVERIFY_THROWS_EXCEPTION(AppError, cn.Execute(QStringLiteral("DELETE FROM tblTimePeriod")));
    }
};

void tst_Report::runs_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QStringList week{"--from", "2026-11-30", "--to", "2026-12-06"};
    const QString en = QStringLiteral("en_US.UTF-8"), de = QStringLiteral("de_DE.UTF-8");
    QTest::addRow("table by day")
        << week << en << 0
        << QStringLiteral(
               R"g(Project         Mon 11/30/2026  Tue 12/1/2026  Wed 12/2/2026  Thu 12/3/2026  Fri 12/4/2026  Sat 12/5/2026  Sun 12/6/2026  Total
Alpha                    01:30          01:00          01:00                                                              03:30  ####################
beta "B", Ltd                                                         00:46                                               00:46  ####
Zeta                                                                                 01:00                        -00:15  00:45  ####
(no project) 0                                                                                      00:20                 00:20  ##
Total                    01:30          01:00          01:00          00:46          01:00          00:20         -00:15  05:20
)g") << QString();
    QTest::addRow("by month, regional dates")
        << QStringList{"--from", "30.11.2026", "--to", "1.12.26", "--by", "month", "--project", "alpha"} << de << 0
        << QStringLiteral(R"g(Project  Nov 2026  Dez 2026  Total
Alpha       01:30     01:00  02:30  ####################
Total       01:30     01:00  02:30
)g") << QString();
    QTest::addRow("all by project, chosen")
        << QStringList{"--all", "--project", "ALPHA", "--project", "zeta", "--format", "csv"} << en << 0
        << Crlf(R"g(project_id,project,start,end,minutes
1,Alpha,,,270
2,Zeta,,,30
)g") << QString();
    QTest::addRow("periods from a day on") << QStringList{"periods", "--from", "2026-12-02", "--format", "csv"} << de
                                           << 0 << Crlf(R"g(project_id,project,start,end,minutes
0,(no project),2026-12-05T14:00:00,2026-12-05T14:20:00,20
1,Alpha,2026-12-01T23:00:00,2026-12-02T01:00:00,120
2,Zeta,2026-12-04T12:00:00,2026-12-04T13:00:00,60
2,Zeta,2026-12-07T00:15:00,2026-12-06T23:45:00,-30
3,"beta ""B"", Ltd",2026-12-03T08:00:00,2026-12-03T08:45:30,45.5
)g") << QString();
    const auto refused = [&en](const char* tag, const QStringList& args, int status, const char* message) {
        QTest::addRow("%s", tag) << args << en << status << QString()
                                 << QStringLiteral("tallyclock-report: %1\n").arg(QString::fromUtf8(message));
    };
    refused("bad date", {"--from", "2026-13-01"}, 2,
            "\"2026-13-01\" given to --from is not a date (2026-12-01 or the regional date).");
    refused("unknown project", {"--project", "Gamma"}, 2, "There is no project named \"Gamma\".");
    refused("missing database", {"--database", "/nowhere/Tallyclock.mdb"}, 1,
            "The database file \"/nowhere/Tallyclock.mdb\" does not exist.");
}

// Read back as the document it is meant to be.
void tst_Report::jsonByWeek()
{
    const ProgramRun run = Run({"--all", "--by", "week", "--format", "json"});
    const QByteArray expected =
        R"g([{"end":"2026-11-23T00:00:00","minutes":60,"project":"Alpha","project_id":1,"start":"2026-11-20T00:00:00"},{"end":"2026-12-07T00:00:00","minutes":210,"project":"Alpha","project_id":1,"start":"2026-11-30T00:00:00"},{"end":"2026-12-07T00:00:00","minutes":45.5,"project":"beta \"B\", Ltd","project_id":3,"start":"2026-11-30T00:00:00"},{"end":"2026-12-07T00:00:00","minutes":45,"project":"Zeta","project_id":2,"start":"2026-11-30T00:00:00"},{"end":"2026-12-08T00:00:00","minutes":-15,"project":"Zeta","project_id":2,"start":"2026-12-07T00:00:00"},{"end":"2026-12-07T00:00:00","minutes":20,"project":"(no project)","project_id":0,"start":"2026-11-30T00:00:00"}])g";
    QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8()).toJson(QJsonDocument::Compact), expected);
}

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_Report.moc"