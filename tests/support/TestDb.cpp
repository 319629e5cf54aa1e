#include "TestDb.h"

#include "modules/modGeneral.h"

#include <sqlite3.h>

#include <stdexcept>

TempDatabase::TempDatabase()
{
    // Made as the program makes the user's first database.
    MakeDatabase(dir_.path());
    gConnectionString = connectionString();
    gProjects = std::make_unique<clsProject>();
}

TempDatabase::~TempDatabase()
{
    // Only our own: a newer database may already have taken the program's connection string.
    if (gConnectionString == connectionString())
        gConnectionString.clear();
}

// One statement on a connection of its own; its rows, if any: whole numbers as numbers, every
// other value but Null as its text.
std::vector<QVariantList> TempDatabase::rows(const QString& sql) const
{
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    sqlite3_open_v2(path().toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::vector<QVariantList> out;
    const int prepared = sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr);
    int rc = prepared;
    while (prepared == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        out.emplace_back();
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            const int type = sqlite3_column_type(st, c);
            const QString t = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
            out.back() << (type == SQLITE_NULL ? QVariant() : type == SQLITE_INTEGER ? QVariant(t.toLongLong()) : t);
        }
    }
    const std::string error = sql.toStdString() + ": " + sqlite3_errmsg(db);
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (rc != SQLITE_DONE)
        throw std::runtime_error(error);
    return out;
}

QVariant TempDatabase::scalar(const QString& sql) const
{
    const auto r = rows(sql);
    return r.empty() || r.front().isEmpty() ? QVariant() : r.front().front();
}

qint64 TempDatabase::insertProject(const QString& name, const QString& description) const
{
    const QString sql = "INSERT INTO tblProject(Name,Description) VALUES('%1','%2') RETURNING ProjectID";
    return scalar(sql.arg(QString(name).replace('\'', "''"), QString(description).replace('\'', "''"))).toLongLong();
}

qint64 TempDatabase::insertPeriod(qint64 projectID, double start, double end) const
{
    QString sql = "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(%1,%2,%3) RETURNING TimePeriodID";
    return scalar(sql.arg(projectID).arg(start, 0, 'g', 17).arg(end, 0, 'g', 17)).toLongLong();
}

std::optional<ErrorKind> ErrorKindOf(const std::function<void()>& code, QString* message)
{
    try {
        code();
    } catch (const AppError& e) {
        if (message)
            *message = QString::fromStdString(e.what());
        return e.Kind();
    }
    return std::nullopt;
}
