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

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kPeriods = 100000;
constexpr int kProjects = 1000;
constexpr int kRuns = 5;

double TimeMs(const std::function<void()>& f)
{
    std::vector<double> runs;
    f();
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        runs.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

void MakeDatabase(const QString& path)
{
    QFile schema(QStringLiteral(TALLYCLOCK_SCHEMA_PATH));
    schema.open(QIODevice::ReadOnly);
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, schema.readAll().constData(), nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* p = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO tblProject(Name,Description) VALUES(?,' ')", -1, &p, nullptr);
    for (int i = 0; i < kProjects; ++i) {
        std::string name = "Project ";
        name += std::to_string(i);
        sqlite3_bind_text(p, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(p);
        sqlite3_reset(p);
    }
    sqlite3_finalize(p);
    sqlite3_stmt* t = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(1,?,?)", -1, &t, nullptr);
    for (int k = 0; k < kPeriods; ++k) {
        const double start = 45000.0 + k * 0.37;
        sqlite3_bind_double(t, 1, start);
        sqlite3_bind_double(t, 2, start + 0.05);
        sqlite3_step(t);
        sqlite3_reset(t);
    }
    sqlite3_finalize(t);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    QTemporaryDir dir;
    MakeDatabase(dir.path() + QStringLiteral("/Tallyclock.mdb"));
    gConnectionString = ConnectionStringFor(dir.path() + QLatin1Char('/'));
    gProjects = std::make_unique<clsProject>();

    const QString listing = QStringLiteral("SELECT * FROM tblTimePeriod WHERE ProjectID=1 ORDER BY StartTime");
    const double readMs = TimeMs([&] {
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
    const double fillMs = TimeMs([] { LoadTimePeriods(1); });
    const int entries = frmProjectDetails().lstTimePeriods->topLevelItemCount();

    const double loadMs = TimeMs([] { LoadProjects(); });
    const double fillProjectsMs = TimeMs([] { FillProjectList(); });

    std::printf("%d periods of one project, %d projects; median of %d runs\n\n", kPeriods, kProjects, kRuns);
    std::printf("%-52s %8.1f ms   (baseline)\n", "read 100,000 periods with both date texts", readMs);
    std::printf("%-52s %8.1f ms   ratio %4.2f   (target: well under 1 s)\n", "LoadTimePeriods: the details list filled", fillMs,
                fillMs / readMs);
    std::printf("%-52s %8.1f ms   (baseline)\n", "LoadProjects, 1,000 projects", loadMs);
    std::printf("%-52s %8.1f ms   ratio %4.2f\n", "FillProjectList, 1,000 projects", fillProjectsMs, fillProjectsMs / loadMs);
    if (entries != kPeriods)
        std::printf("!! the list holds %d entries, expected %d\n", entries, kPeriods);
    frmProjectDetails.Unload();
    frmMain.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
