#pragma once

#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

#include "platform/AppError.h"
#include "platform/DataFolder.h"
#include "platform/Database.h"
#include "platform/Regional.h"

// A moment of the calendar and the clock.
inline double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return MomentFromDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

// A real Tallyclock database made from db/schema.sql in a temporary folder. Points
// gConnectionString at it and gives the program an empty project list.
class TempDatabase
{
public:
    TempDatabase();
    ~TempDatabase();

    QString folder() const { return dir_.path() + QLatin1Char('/'); }
    QString path() const { return DatabaseFileIn(dir_.path()); }
    QString connectionString() const { return ConnectionStringForFile(path()); }

    // Raw SQLite access beside the program's own layer, for fixtures and checks.
    void exec(const QString& sql) const { rows(sql); }
    QVariant scalar(const QString& sql) const;
    std::vector<QVariantList> rows(const QString& sql) const;
    qint64 insertProject(const QString& name, const QString& description = QStringLiteral(" ")) const;
    qint64 insertPeriod(qint64 projectID, double start, double end) const;

private:
    QTemporaryDir dir_;
};

// Records every statement the database layer runs while it lives.
class StatementLog
{
public:
    StatementLog()
    {
        Connection::SetStatementObserver([this](const QString& s) { statements_ << s; });
    }
    ~StatementLog() { Connection::SetStatementObserver({}); }
    const QStringList& statements() const { return statements_; }

private:
    QStringList statements_;
};

// The kind of the AppError that the code raises, its message into *message; none when the code
// raises nothing.
std::optional<ErrorKind> ErrorKindOf(const std::function<void()>& code, QString* message = nullptr);
