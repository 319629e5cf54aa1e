// Measures how fast the two list views fill: one project's 100,000 periods in the details
// dialog, and 1,000 projects in the main window, against reading the same rows alone.
// Runs on the offscreen platform; makes its database in a temporary folder.

#include "forms/frmMain.h"
#include "forms/frmProjectDetails.h"
#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "platform/Database.h"
#include "platform/ListView.h"
#include "platform/Regional.h"

#include "../BenchNewDatabase.h"
#include "../BenchSupport.h"

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kPeriods = 100000;
constexpr int kProjects = 1000;
constexpr int kRuns = 5;

void FillDatabase(const QString& folder)
{
    sqlite3* db = bench::OpenNewDatabase(folder);
    bench::Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt* p = nullptr;
    bench::Check(sqlite3_prepare_v2(db, "INSERT INTO tblProject(Name,Description) VALUES(?,' ')", -1, &p, nullptr), db,
                 "prepare");
    for (int i = 0; i < kProjects; ++i) {
        std::string name = "Project ";
        name += std::to_string(i);
        sqlite3_bind_text(p, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        bench::Check(sqlite3_step(p), db, "project");
        sqlite3_reset(p);
    }
    sqlite3_finalize(p);
    sqlite3_stmt* t = nullptr;
    bench::Check(
        sqlite3_prepare_v2(db, "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(1,?,?)", -1, &t, nullptr),
        db, "prepare");
    for (int k = 0; k < kPeriods; ++k) {
        const double start = 45000.0 + k * 0.37;
        sqlite3_bind_double(t, 1, start);
        sqlite3_bind_double(t, 2, start + 0.05);
        bench::Check(sqlite3_step(t), db, "period");
        sqlite3_reset(t);
    }
    sqlite3_finalize(t);
    bench::Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    QTemporaryDir dir;
    FillDatabase(dir.path());
    gConnectionString = ConnectionStringForFile(DatabaseFileIn(dir.path()));
    gProjects = std::make_unique<clsProject>();

    const QString listing = QStringLiteral("SELECT * FROM tblTimePeriod WHERE ProjectID=1 ORDER BY StartTime");
    const double readMs = bench::TimeMs(kRuns, [&] {
        Connection cn;
        cn.Open(gConnectionString);
        RecordSet rs;
        rs.Open(listing, cn);
        QString s, e;
        for (; !rs.IsEOF(); rs.MoveNext()) {
            s = GeneralDateText(rs.Fields(2).ToDouble());
            e = GeneralDateText(rs.Fields(3).ToDouble());
        }
        cn.Close();
    });
    const double fillMs = bench::TimeMs(kRuns, [] { LoadTimePeriods(1); });
    const int entries = frmProjectDetails().lstTimePeriods->topLevelItemCount();

    const double loadMs = bench::TimeMs(kRuns, [] { LoadProjects(); });
    const double fillProjectsMs = bench::TimeMs(kRuns, [] { FillProjectList(); });

    std::printf("%d periods of one project, %d projects; median of %d runs\n\n", kPeriods, kProjects, kRuns);
    bench::RatioLine(52, "read 100,000 periods with both date texts", readMs, readMs, "(baseline)");
    bench::RatioLine(52, "LoadTimePeriods: the details list filled", fillMs, readMs, "(target: well under 1 s)");
    bench::RatioLine(52, "LoadProjects, 1,000 projects", loadMs, loadMs, "(baseline)");
    bench::RatioLine(52, "FillProjectList, 1,000 projects", fillProjectsMs, loadMs, "");
    if (entries != kPeriods)
        std::printf("!! the list holds %d entries, expected %d\n", entries, kPeriods);
    frmProjectDetails.Unload();
    frmMain.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
