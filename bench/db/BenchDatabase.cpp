#include "BenchDatabase.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// 1,000 projects of 1,000 periods each, and one more project with 100,000 periods.
void FillDatabase(const QString& folder)
{
    sqlite3* db = bench::OpenNewDatabase(folder);
    bench::Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt* p = nullptr;
    sqlite3_stmt* t = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO tblProject(Name,Description) VALUES(?,?)", -1, &p, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(?,?,?)", -1, &t, nullptr);
    auto addProject = [&](const std::string& name, int periods) {
        sqlite3_bind_text(p, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(p, 2, "a project of the benchmark", -1, SQLITE_STATIC);
        bench::Check(sqlite3_step(p), db, "project");
        sqlite3_reset(p);
        const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
        for (int k = 0; k < periods; ++k) {
            const double start = 45000.0 + k * 0.37 + (id % 7) * 0.01;
            sqlite3_bind_int64(t, 1, id);
            sqlite3_bind_double(t, 2, start);
            sqlite3_bind_double(t, 3, start + 0.05);
            bench::Check(sqlite3_step(t), db, "period");
            sqlite3_reset(t);
        }
        return id;
    };
    for (int i = 0; i < kProjects; ++i) {
        // Mixed case so the names' order depends on the collation.
        std::string name = i % 2 ? "project " : "Project ";
        name += std::to_string((i * 7919) % kProjects);
        addProject(name, kPeriodsEach);
    }
    addProject("The big one", kBigProject);
    sqlite3_finalize(p);
    sqlite3_finalize(t);
    bench::Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
}

} // namespace

QString BenchDatabase(const QString& folder)
{
    QDir().mkpath(folder);
    const QString path = DatabaseFileIn(folder);
    if (!QFile::exists(path)) {
        std::printf("making %s ...\n", qPrintable(path));
        FillDatabase(folder);
    }
    return path;
}

QString BenchFolder(int argc, char* argv[], int runs)
{
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QDir::tempPath() + QStringLiteral("/tallyclock-bench");
    BenchDatabase(folder);
    std::printf("%d projects x %d periods + 1 project x %d periods; median of %d runs\n\n", kProjects, kPeriodsEach,
                kBigProject, runs);
    return folder;
}
