// Measures the data store on a large file against bare SQLite and Qt in the same run.
// Usage: bench_db [folder]   (the database is made there once and reused)

#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "platform/Database.h"
#include "platform/Regional.h"

#include "BenchDatabase.h"
#include "../BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kConversions = 100000;
constexpr int kRuns = 7;

// The same rows through bare SQLite: what the program's layer adds is what the ratio shows.
void BareQuery(const QString& path, const char* sql, bool projects)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* st = nullptr;
    bench::Check(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), db, "prepare");
    struct Row
    {
        int id;
        std::string name, desc;
        double total;
    };
    std::vector<Row> out;
    while (sqlite3_step(st) == SQLITE_ROW) {
        Row r;
        r.id = sqlite3_column_int(st, 0);
        if (projects) {
            r.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
            r.desc = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
            r.total = sqlite3_column_double(st, 3);
        } else {
            r.total = sqlite3_column_double(st, 2) + sqlite3_column_double(st, 3);
        }
        out.push_back(std::move(r));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
}

void Line(const char* what, double ms, double baseMs, const char* target)
{
    bench::RatioLine(58, what, ms, baseMs, target);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    const QString folder = BenchFolder(argc, argv, kRuns);
    const QString path = BenchDatabase(folder);
    gConnectionString = ConnectionStringForFile(DatabaseFileIn(folder));
    gProjects = std::make_unique<clsProject>();

    const double bareProjects = bench::TimeMs(kRuns,
                                              [&] { BareQuery(path, "SELECT * FROM qryProject ORDER BY Name", true); });
    const double loadProjects = bench::TimeMs(kRuns, [] { LoadProjects(); });
    Line("bare SQLite: SELECT * FROM qryProject ORDER BY Name", bareProjects, bareProjects, "(baseline)");
    Line("LoadProjects", loadProjects, bareProjects, "(target: ratio <= 1.3, < 300 ms)");

    const qint32 big = kProjects + 1;
    const QString listing = QStringLiteral("SELECT * FROM tblTimePeriod WHERE ProjectID=%1 ORDER BY StartTime")
                                .arg(big);
    const QByteArray listingUtf8 = listing.toUtf8();
    const double bareListing = bench::TimeMs(kRuns, [&] { BareQuery(path, listingUtf8.constData(), false); });
    int rows = 0;
    const double listingMs = bench::TimeMs(kRuns, [&] {
        Connection cn;
        cn.Open(gConnectionString);
        RecordSet rs;
        rs.Open(listing, cn);
        rows = 0;
        QString start, end;
        for (; !rs.IsEOF(); rs.MoveNext()) {
            const qint32 id = rs.Fields(0).ToInt32();
            start = GeneralDateText(rs.Fields(2).ToDouble());
            end = GeneralDateText(rs.Fields(3).ToDouble());
            rows += id > 0;
        }
        rs.Close();
        cn.Close();
    });
    const double readOnlyMs = bench::TimeMs(kRuns, [&] {
        Connection cn;
        cn.Open(gConnectionString);
        RecordSet rs;
        rs.Open(listing, cn);
        double sum = 0;
        for (; !rs.IsEOF(); rs.MoveNext())
            sum += rs.Fields(0).ToInt32() + rs.Fields(2).ToDouble() + rs.Fields(3).ToDouble();
        rs.Close();
        cn.Close();
        rows = sum > 0 ? rows : -1;
    });
    Line("bare SQLite: statement 2, 100,000 periods", bareListing, bareListing, "(baseline)");
    Line("statement 2 read through the database layer", readOnlyMs, bareListing, "(target: < 200 ms)");
    Line("... and both moments of each row as general date text", listingMs, bareListing, "");
    if (rows != kBigProject)
        std::printf("!! listed %d rows, expected %d\n", rows, kBigProject);

    std::vector<double> moments;
    for (int i = 0; i < kConversions; ++i)
        moments.push_back(std::round((20000.0 + i * 1.37) * 86400.0) / 86400.0);
    // Qt's own regional conversion, with the same format, as the baseline.
    const QLocale loc;
    const QString fmt = QStringLiteral("M/d/yyyy h:mm:ss AP");
    int mismatches = 0;
    const double qtMs = bench::TimeMs(kRuns, [&] {
        for (double m : moments) {
            QDate d;
            QTime t;
            DateTimeFromMoment(m, d, t);
            const QString s = loc.toString(QDateTime(d, t), fmt);
            const QDateTime back = loc.toDateTime(s, fmt);
            mismatches += back.date() != d;
        }
    });
    const double oursMs = bench::TimeMs(kRuns, [&] {
        for (double m : moments) {
            const auto back = ReadDateText(GeneralDateText(m));
            mismatches += !back || std::llround(*back * 86400) != std::llround(m * 86400);
        }
    });
    Line("QLocale toString + toDateTime, 100,000 moments", qtMs, qtMs, "(baseline)");
    Line("GeneralDateText + ReadDateText, 100,000 moments", oursMs, qtMs, "");
    if (mismatches)
        std::printf("!! %d conversions did not read back\n", mismatches);
    return 0;
}
