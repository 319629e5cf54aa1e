// Measures the report program, run as users run it, on the large database and on exports of
// 10 thousand to 4 million periods, against bare SQLite reading the same rows, and against
// Timewarrior's summary of the same intervals where timew is installed. Every pair or triple
// is timed in turns, so that a busy machine slows each alike; the medians are shown.
// Usage: bench_report [folder]   (the databases are made there once and reused)

#include "platform/Clock.h"
#include "platform/DataFolder.h"
#include "platform/Database.h"
#include "platform/Regional.h"
#include "report/Report.h"
#include "report/ReportText.h"

#include "BenchDatabase.h"
#include "../BenchSupport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>

#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kRuns = 9;
constexpr int kWidth = 66;

// The machine's load (1, 5 and 15 minutes), for the figures' context: teammates share the cores.
void Load(const char* when)
{
    QFile file(QStringLiteral("/proc/loadavg"));
    file.open(QIODevice::ReadOnly);
    std::printf("load average %s: %s", when, file.readLine().constData());
}

// One run of a program to its end, standard output thrown away; its peak memory in KB.
long Spawn(const QStringList& args)
{
    std::vector<std::string> words;
    for (const QString& a : args)
        words.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot run %s\n", argv[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::printf("!! %s ended with status %d\n", argv[0], status);
    return usage.ru_maxrss;
}

QStringList Report(const QString& database, const QStringList& args)
{
    return QStringList{QStringLiteral(TALLYCLOCK_REPORT_EXE), QStringLiteral("--database"), database} + args;
}

// Each taken once to warm the caches, then all in turns kRuns times; their medians in ms.
std::vector<double> InTurns(const std::vector<std::function<void()>>& jobs)
{
    for (const auto& job : jobs)
        job();
    std::vector<std::vector<double>> times(jobs.size());
    for (int i = 0; i < kRuns; ++i) {
        for (size_t j = 0; j < jobs.size(); ++j)
            times[j].push_back(bench::ElapsedMs(jobs[j]));
    }
    std::vector<double> medians;
    for (const auto& t : times)
        medians.push_back(bench::Median(t));
    return medians;
}

void Line(const char* what, double ms, double baseMs, double target)
{
    char aim[64];
    std::snprintf(aim, sizeof aim, "(target: ratio <= %.1f: %s)", target, ms / baseMs <= target ? "met" : "NOT met");
    bench::RatioLine(kWidth, what, ms, baseMs, target > 0 ? aim : "(baseline)");
}

// Bare SQLite on a connection of its own, every row fetched.
void Bare(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    bench::Check(sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr), db, "prepare");
    double sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW)
        sum += sqlite3_column_double(st, sqlite3_column_count(st) - 1);
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (sum == 0)
        std::printf("!! the bare query found nothing\n");
}

// A database of its own, filled by fill(statement) once.
QString Made(const QString& folder, const std::function<void(sqlite3_stmt*)>& fill)
{
    const QString path = DatabaseFileIn(folder);
    if (QFile::exists(path))
        return path;
    std::printf("making %s ...\n", qPrintable(path));
    std::fflush(stdout);
    sqlite3* db = bench::OpenNewDatabase(folder);
    sqlite3_exec(db,
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<100) "
                 "INSERT INTO tblProject(Name,Description) SELECT 'Project ' || i, ' ' FROM n",
                 nullptr, nullptr, nullptr);
    bench::Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(?,?,?)", -1, &st, nullptr);
    fill(st);
    sqlite3_finalize(st);
    bench::Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
    return path;
}

void Insert(sqlite3_stmt* st, int project, double start, double end)
{
    sqlite3_bind_int(st, 1, project);
    sqlite3_bind_double(st, 2, start);
    sqlite3_bind_double(st, 3, end);
    sqlite3_step(st);
    sqlite3_reset(st);
}

// n periods of 11.5 minutes every quarter of an hour, over 100 projects, from 1954 on.
QString ExportDatabase(const QString& folder, int n)
{
    return Made(folder + QStringLiteral("/export-%1").arg(n), [n](sqlite3_stmt* st) {
        for (int i = 0; i < n; ++i)
            Insert(st, i % 100 + 1, 20000 + i / 96.0, 20000 + i / 96.0 + 0.008);
    });
}

// 100,000 intervals of 25 minutes, 20 a day, up to today, as a Tallyclock database and as
// Timewarrior's data files (one per month, in UTC, which the bench takes for local time).
QString MonthDatabase(const QString& folder, const QString& timew)
{
    const QDate today = CurrentClock().LocalNow().date();
    const auto moment = [&today](int i) {
        const QDate day = today.addDays(i / 20 - 4999);
        return MomentFromDateTime(day, QTime(7, 0).addSecs(1800 * (i % 20)));
    };
    if (!QFile::exists(timew + QStringLiteral("/timewarrior.cfg"))) {
        QDir().mkpath(timew + QStringLiteral("/data"));
        QFile(timew + QStringLiteral("/timewarrior.cfg")).open(QIODevice::WriteOnly);
        std::map<QString, std::string> files;
        for (int i = 0; i < 100000; ++i) {
            QDate d;
            QTime t;
            DateTimeFromMoment(moment(i), d, t);
            const QDateTime start(d, t, Qt::UTC);
            const auto stamp = [](const QDateTime& dt) { return dt.toString(QStringLiteral("yyyyMMddTHHmmssZ")); };
            files[d.toString(QStringLiteral("yyyy-MM"))] += QStringLiteral("inc %1 - %2 # p%3\n")
                                                                .arg(stamp(start), stamp(start.addSecs(1500)))
                                                                .arg(i % 50)
                                                                .toStdString();
        }
        for (const auto& [month, text] : files)
            std::ofstream(QStringLiteral("%1/data/%2.data").arg(timew, month).toStdString()) << text;
    }
    return Made(folder + QStringLiteral("/month"), [&moment](sqlite3_stmt* st) {
        for (int i = 0; i < 100000; ++i)
            Insert(st, i % 50 + 1, moment(i), moment(i) + 25.0 / 1440);
    });
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    const QString folder = BenchFolder(argc, argv, kRuns);
    const QString path = BenchDatabase(folder);
    Load("at the start");
    // The large database as the program leaves it: with the span index.
    Connection cn;
    cn.Open(ConnectionStringForFile(path));
    cn.Close();

    // An old database, made before the span index: what the report does without it, and what
    // the program's first start adds.
    const QString old = folder + QStringLiteral("/old"), upgraded = folder + QStringLiteral("/upgraded");
    for (const QString& copy : {old, upgraded}) {
        QDir().mkpath(copy);
        QFile::remove(DatabaseFileIn(copy));
        QFile::copy(path, DatabaseFileIn(copy));
        sqlite3* raw = nullptr;
        sqlite3_open(DatabaseFileIn(copy).toUtf8().constData(), &raw);
        sqlite3_exec(raw, "DROP INDEX idxTimePeriodSpan", nullptr, nullptr, nullptr);
        sqlite3_close(raw);
    }
    const double addMs = bench::ElapsedMs([&] {
        cn.Open(ConnectionStringForFile(DatabaseFileIn(upgraded)));
        cn.Close();
    });
    std::printf("the first read-write open of an old database adds the span index: %.0f ms\n\n", addMs);
    // The fixed cost of a report: the same projects, no periods.
    const QString empty = folder + QStringLiteral("/empty");
    if (!QFile::exists(DatabaseFileIn(empty))) {
        sqlite3* db = bench::OpenNewDatabase(empty);
        const QString copy = QStringLiteral("ATTACH '%1' AS big; INSERT INTO tblProject SELECT * FROM big.tblProject")
                                 .arg(path);
        bench::Check(sqlite3_exec(db, copy.toUtf8().constData(), nullptr, nullptr, nullptr), db, "projects");
        sqlite3_close(db);
    }

    // Spans of the large database: a week in the middle of it, all projects (about 19,000
    // periods) and one project (19 periods), and this month (a few dozen).
    const double monday = WeekStart(45100);
    const QStringList week{QStringLiteral("--from"), DateOfDay(monday).toString(Qt::ISODate), QStringLiteral("--to"),
                           DateOfDay(monday + 6).toString(Qt::ISODate)};
    const QString span = QStringLiteral(" FROM tblTimePeriod INDEXED BY idxTimePeriodSpan WHERE (%1)=1 AND "
                                        "StartTime>=%2 AND StartTime<%3")
                             .arg(QLatin1String(kShortPeriod));
    const QString weekFloor = QStringLiteral("SELECT ProjectID, CAST(StartTime AS INTEGER), SUM(EndTime-StartTime)")
        + span + QStringLiteral(" GROUP BY 1, 2");
    const QString rowsFloor = QStringLiteral(
        "SELECT ProjectID, StartTime, EndTime FROM tblTimePeriod WHERE ProjectID=1 "
        "AND StartTime>=%1 AND StartTime<%2 ORDER BY StartTime");
    const double first = MonthStart(std::floor(CurrentMoment())), next = NextMonthStart(first);
    struct Dated
    {
        const char* what;
        QStringList args;
        QString floor;
    };
    const std::vector<Dated> dated{
        {"the week, 19,000 periods, as a table", week, weekFloor.arg(monday).arg(monday + 7)},
        {"periods of one project's week, 19 rows, as a table",
         QStringList{QStringLiteral("periods"), QStringLiteral("--project"), QStringLiteral("Project 0")} + week,
         rowsFloor.arg(monday).arg(monday + 7)},
        {"--month (this month), as a table", {QStringLiteral("--month")}, weekFloor.arg(first).arg(next)},
    };
    std::printf("A span against the report on a database of the same projects without periods, plus bare SQLite\n"
                "reading the span alone\n");
    for (const Dated& d : dated) {
        const auto t = InTurns({[&] { Spawn(Report(path, d.args)); },
                                [&] { Spawn(Report(DatabaseFileIn(empty), d.args)); }, [&] { Bare(path, d.floor); },
                                [&] { Spawn(Report(DatabaseFileIn(old), d.args)); }});
        std::printf("  %-*s %9.1f ms (empty %.1f ms + floor %.1f ms)\n", kWidth - 2, d.what, t[0], t[1], t[2]);
        Line("    its ratio to empty + floor", t[0], t[1] + t[2], 1.5);
        std::printf("    %-*s %9.1f ms\n", kWidth - 4, "the same on an old database, without the span index", t[3]);
    }

    // Over all the time there is, in process, against the bare aggregate.
    {
        ReportOptions all;
        all.by = Grouping::Project;
        const auto t = InTurns(
            {[&] {
                 Bare(path, QStringLiteral("SELECT ProjectID, SUM(EndTime-StartTime) FROM tblTimePeriod GROUP BY 1"));
             },
             [&] {
                 Connection c;
                 OpenReportDatabase(c, path);
                 QBuffer out;
                 out.open(QIODevice::WriteOnly);
                 WriteReport(c, all, out);
             }});
        std::printf("\n");
        Line("bare SQLite: every period's sum per project", t[0], t[0], 0);
        Line("--all --by project, in process", t[1], t[0], 1.5);
    }

    // The export at three sizes: its peak memory, and at a million periods JSON and the
    // table against CSV.
    std::printf("\nperiods --format csv|json|table: peak memory (target: < 32 MB each)\n");
    for (int n : {10000, 1000000, 4000000}) {
        const QString db = ExportDatabase(folder, n);
        std::printf("  %9d periods:", n);
        for (const char* format : {"csv", "json", "table"}) {
            const long kb = Spawn(Report(db, {QStringLiteral("periods"), QStringLiteral("--format"), format}));
            std::printf("  %s %5.1f MB %s", format, kb / 1024.0, kb < 32 * 1024 ? "met" : "NOT met");
        }
        std::printf("\n");
    }
    {
        const QString db = ExportDatabase(folder, 1000000);
        const auto run = [&db](const char* format) {
            return [&db, format] {
                Spawn(Report(db, {QStringLiteral("periods"), QStringLiteral("--format"), format}));
            };
        };
        const auto t = InTurns({run("csv"), run("json"), run("table")});
        Line("periods --format csv, 1,000,000 periods", t[0], t[0], 0);
        Line("periods --format json", t[1], t[0], 1.5);
        Line("periods (a table)", t[2], t[0], 1.5);
    }

    // --month against Timewarrior over the same 100,000 intervals.
    std::printf("\n");
    const QString timew = folder + QStringLiteral("/timew");
    const QString month = MonthDatabase(folder, timew);
    if (system("command -v timew >/dev/null 2>&1") != 0) {
        std::printf("timew is not installed: --month against timew summary :month skipped\n");
        Load("at the end");
        return 0;
    }
    qputenv("TIMEWARRIORDB", timew.toUtf8());
    // The report's own work, without starting a program, for comparison.
    ReportOptions thisMonth;
    thisMonth.from = first;
    thisMonth.to = next;
    const auto work = [&] {
        Connection c;
        OpenReportDatabase(c, month);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        WriteReport(c, thisMonth, out);
    };
    const auto t = InTurns({[] {
                                Spawn({QStringLiteral("timew"), QStringLiteral("summary"), QStringLiteral(":month")});
                            },
                            [&] { Spawn(Report(month, {QStringLiteral("--month")})); },
                            [] {
                                Spawn({QStringLiteral(TALLYCLOCK_REPORT_EXE), QStringLiteral("--version")});
                            },
                            work});
    Line("timew summary :month, 100,000 intervals", t[0], t[0], 0);
    char aim[64];
    std::snprintf(aim, sizeof aim, "(target: ratio <= 0.33: %s)", t[1] * 3 <= t[0] ? "met" : "NOT met");
    bench::RatioLine(kWidth, "tallyclock-report --month, the same periods", t[1], t[0], aim);
    bench::RatioLine(kWidth, "tallyclock-report --version (starting the program)", t[2], t[0], "");
    bench::RatioLine(kWidth, "the --month report's own work, in process", t[3], t[0], "");
    Load("at the end");
    return 0;
}
