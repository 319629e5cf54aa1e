#include "TestDb.h"

#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "platform/Database.h"

#include <QFile>

#include <sqlite3.h>

#include <stdexcept>

namespace {

struct Raw
{
    sqlite3* db = nullptr;
    explicit Raw(const QString& path, bool create = false)
    {
        const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
        if (sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open test database");
    }
    ~Raw() { sqlite3_close_v2(db); }
    [[noreturn]] void fail(const QString& sql) const
    {
        throw std::runtime_error((sql + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db))).toStdString());
    }
};

} // namespace

TempDatabase::TempDatabase()
{
    QFile schema(QStringLiteral(TALLYCLOCK_SCHEMA_PATH));
    if (!schema.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the schema");
    const QByteArray sql = schema.readAll();
    Raw raw(path(), true);
    if (sqlite3_exec(raw.db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        raw.fail(QStringLiteral("schema"));
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
    return ConnectionStringFor(folder());
}

void TempDatabase::exec(const QString& sql) const
{
    Raw raw(path());
    if (sqlite3_exec(raw.db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        raw.fail(sql);
}

std::vector<QVariantList> TempDatabase::rows(const QString& sql) const
{
    Raw raw(path());
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(raw.db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        raw.fail(sql);
    std::vector<QVariantList> out;
    while (sqlite3_step(st) == SQLITE_ROW) {
        QVariantList row;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            switch (sqlite3_column_type(st, i)) {
            case SQLITE_NULL: row << QVariant(); break;
            case SQLITE_INTEGER: row << QVariant(static_cast<qlonglong>(sqlite3_column_int64(st, i))); break;
            case SQLITE_FLOAT: row << QVariant(sqlite3_column_double(st, i)); break;
            default: row << QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i))));
            }
        }
        out.push_back(row);
    }
    sqlite3_finalize(st);
    return out;
}

QVariant TempDatabase::scalar(const QString& sql) const
{
    const auto r = rows(sql);
    return r.empty() || r.front().isEmpty() ? QVariant() : r.front().front();
}

qint64 TempDatabase::insertProject(const QString& name, const QString& description) const
{
    Raw raw(path());
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(raw.db, "INSERT INTO tblProject(Name,Description) VALUES(?,?)", -1, &st, nullptr);
    const QByteArray n = name.toUtf8(), d = description.toUtf8();
    sqlite3_bind_text(st, 1, n.constData(), static_cast<int>(n.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, d.constData(), static_cast<int>(d.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_DONE)
        raw.fail(QStringLiteral("insert project"));
    sqlite3_finalize(st);
    return sqlite3_last_insert_rowid(raw.db);
}

qint64 TempDatabase::insertPeriod(qint64 projectID, double start, double end) const
{
    Raw raw(path());
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(raw.db, "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(?,?,?)", -1, &st, nullptr);
    sqlite3_bind_int64(st, 1, projectID);
    sqlite3_bind_double(st, 2, start);
    sqlite3_bind_double(st, 3, end);
    if (sqlite3_step(st) != SQLITE_DONE)
        raw.fail(QStringLiteral("insert period"));
    sqlite3_finalize(st);
    return sqlite3_last_insert_rowid(raw.db);
}

StatementLog::StatementLog()
{
    Connection::SetStatementObserver([this](const QString& s) { statements_ << s; });
}

StatementLog::~StatementLog()
{
    Connection::SetStatementObserver({});
}
