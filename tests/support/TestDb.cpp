#include "TestDb.h"

#include "modules/modGeneral.h"
#include "platform/DataFolder.h"
#include "platform/Database.h"

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

QString TempDatabase::connectionString() const
{
    return ConnectionStringForFile(path());
}

// One statement on a connection of its own, the values bound in order; its rows, if any.
std::vector<QVariantList> TempDatabase::rows(const QString& sql, const QVariantList& values) const
{
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    sqlite3_open_v2(path().toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
        const std::string msg = sql.toStdString() + ": " + sqlite3_errmsg(db);
        sqlite3_close(db);
        throw std::runtime_error(msg);
    }
    for (int i = 0; i < values.size(); ++i) {
        if (values[i].typeId() == QMetaType::QString)
            sqlite3_bind_text(st, i + 1, values[i].toString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
        else
            sqlite3_bind_double(st, i + 1, values[i].toDouble());
    }
    std::vector<QVariantList> out;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        QVariantList row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            const int type = sqlite3_column_type(st, c);
            row << (type == SQLITE_NULL          ? QVariant()
                        : type == SQLITE_INTEGER ? QVariant(static_cast<qlonglong>(sqlite3_column_int64(st, c)))
                        : type == SQLITE_FLOAT
                        ? QVariant(sqlite3_column_double(st, c))
                        : QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)))));
        }
        out.push_back(row);
    }
    const std::string msg = sql.toStdString() + ": " + sqlite3_errmsg(db);
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (rc != SQLITE_DONE)
        throw std::runtime_error(msg);
    return out;
}

void TempDatabase::exec(const QString& sql) const
{
    rows(sql);
}

QVariant TempDatabase::scalar(const QString& sql) const
{
    const auto r = rows(sql);
    return r.empty() || r.front().isEmpty() ? QVariant() : r.front().front();
}

qint64 TempDatabase::insertProject(const QString& name, const QString& description) const
{
    return rows(QStringLiteral("INSERT INTO tblProject(Name,Description) VALUES(?,?) RETURNING ProjectID"),
                {name, description})
        .front()
        .front()
        .toLongLong();
}

qint64 TempDatabase::insertPeriod(qint64 projectID, double start, double end) const
{
    return rows(QStringLiteral(
                    "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(?,?,?) RETURNING TimePeriodID"),
                {static_cast<double>(projectID), start, end})
        .front()
        .front()
        .toLongLong();
}

StatementLog::StatementLog()
{
    Connection::SetStatementObserver([this](const QString& s) { statements_ << s; });
}

StatementLog::~StatementLog()
{
    Connection::SetStatementObserver({});
}
