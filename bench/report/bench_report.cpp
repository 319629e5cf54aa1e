// Measures the report on the large database against bare SQLite answering the same question.
// Usage: bench_report [folder]   (the database is made there once and reused)

#include "platform/Database.h"
#include "report/Report.h"

#include "BenchDatabase.h"
#include "../BenchSupport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLocale>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 9;

// The two taken in turns, so that a busy machine slows both alike; the medians in ms.
std::pair<double, double> TimePair(const std::function<void()>& base, const std::function<void()>& ours)
{
    std::vector<double> a, b;
    base(); // warm the file cache
    ours();
    for (int i = 0; i < kRuns; ++i) {
        for (auto [f, runs] : {std::pair{&base, &a}, std::pair{&ours, &b}}) {
            runs->push_back(bench::ElapsedMs(*f));
        }
    }
    return {bench::Median(a), bench::Median(b)};
}

// The aggregate read through bare SQLite on a connection of its own, every row fetched.
void BareAggregate(const QString& path, const QByteArray& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    bench::Check(sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr), db, "prepare");
    double sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW)
        sum += sqlite3_column_int(st, 0) + sqlite3_column_double(st, sqlite3_column_count(st) - 1);
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (sum == 0)
        std::printf("!! the bare query found nothing\n");
}

void Report(const QString& path, const ReportOptions& o)
{
    Connection cn;
    OpenReportDatabase(cn, path);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    WriteReport(BuildReport(cn, o), o.format, out);
}

void Line(const char* what, double ms, double baseMs, const char* target)
{
    bench::RatioLine(62, what, ms, baseMs, target);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    const QString folder = BenchFolder(argc, argv, kRuns);
    const QString path = BenchDatabase(folder);

    // A week in the middle of the stored periods, Monday to Sunday.
    const QDate zero(1899, 12, 30);
    const QDate day = zero.addDays(45100);
    ReportOptions week;
    week.from = static_cast<double>(zero.daysTo(day.addDays(1 - day.dayOfWeek())));
    week.to = *week.from + 7;
    const QByteArray weekSql = QStringLiteral(
                                   "SELECT ProjectID, CAST(StartTime AS INTEGER) AS Day, SUM(EndTime-StartTime) "
                                   "FROM tblTimePeriod WHERE StartTime>=%1 AND EndTime<=%2 GROUP BY ProjectID, Day")
                                   .arg(*week.from)
                                   .arg(*week.to)
                                   .toUtf8();
    const auto [bareWeek, ourWeek] = TimePair([&] { BareAggregate(path, weekSql); }, [&] { Report(path, week); });
    Line("bare SQLite: one week's sums per project and day", bareWeek, bareWeek, "(baseline)");
    Line("the week report, as a table", ourWeek, bareWeek, "(target: ratio <= 1.5)");

    ReportOptions all;
    all.by = Grouping::Project;
    const QByteArray allSql = "SELECT ProjectID, SUM(EndTime-StartTime) FROM tblTimePeriod GROUP BY ProjectID";
    const auto [bareAll, ourAll] = TimePair([&] { BareAggregate(path, allSql); }, [&] { Report(path, all); });
    Line("bare SQLite: every period's sum per project", bareAll, bareAll, "(baseline)");
    Line("--all --by project, as a table", ourAll, bareAll, "(target: ratio <= 1.5)");

    ReportOptions periods;
    periods.format = Format::Csv;
    const QString csv = folder + QStringLiteral("/periods.csv");
    const auto [bareCsv, csvMs] = TimePair([] {},
                                           [&] {
                                               Connection cn;
                                               OpenReportDatabase(cn, path);
                                               QFile out(csv);
                                               out.open(QIODevice::WriteOnly | QIODevice::Truncate);
                                               WritePeriods(cn, periods, out);
                                           });
    (void)bareCsv;
    const double rows = kProjects * static_cast<double>(kPeriodsEach) + kBigProject;
    std::printf("%-62s %9.1f ms   %.2f million rows/s   (target: >= 1)\n", "periods --format csv, to a file", csvMs,
                rows / csvMs / 1000.0);
    QFile::remove(csv);
    return 0;
}
