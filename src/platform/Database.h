#pragma once

#include "platform/AppError.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
class RecordSet;

// Owns a prepared statement: it is finalized on every path out, errors included.
struct StatementFinalizer
{
    void operator()(sqlite3_stmt* st) const noexcept;
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Orders two project names as the project list sorts them: letter case ignored, accented
// letters beside their base letters, following the user's locale; 0 only for names that
// differ in nothing but letter case.
int CompareNames(QStringView a, QStringView b);

// The connection string of a database file: "DRIVER=Microsoft Access Driver (*.mdb);DBQ=" + the
// path + ";". A path that holds ';', '{' or '}', or begins with a blank, is written between
// braces with each '}' doubled. Every connection string made from a path comes from here.
QString ConnectionStringForFile(const QString& path);

// The kind of an SQLite result code (extended or not).
ErrorKind SqliteErrorKind(int code);

// The index that lets a span of time be read without reading every period: the periods that
// last from zero to one day (nearly all) in start order, the others (longer, negative, or
// with a missing moment) apart, each part found by kShortPeriod's value. A connection opened
// for writing adds it to a database that lacks it; db/schema.sql makes it with the same text.
inline constexpr char kSpanIndex[] = "idxTimePeriodSpan";
inline constexpr char kShortPeriod[] = "(EndTime BETWEEN StartTime AND StartTime+1) IS 1";

// The program's database access layer: a connection and a forward-only result set over a
// SQLite file, reached with an ODBC-style connection string and sent the program's SQL text
// as it stands. Date-time literals between # marks are read with the regional date text and
// bound as day counts; text between single quotes (with doubled quotes) passes unchanged, but
// for what SQLite cannot take (half of a surrogate pair, NUL), which becomes U+FFFD.
// Every failure is an AppError with a message a user can read; a refused change says that
// nothing was stored, and why in plain words.
class Connection
{
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // ReadOnly sends no change and still waits for another program's lock; it opens the file
    // for writing where it may, so that closing it as the file's last reader removes the -wal
    // and -shm files that reading a WAL database makes. ReadWrite adds the span index.
    enum class Access { ReadWrite, ReadOnly };

    // "DRIVER=Microsoft Access Driver (*.mdb);DBQ=<path>;", a value between braces where it
    // holds ';' ("{a;b}", a '}' inside doubled). The file must exist and hold the tables
    // tblProject and tblTimePeriod and the query qryProject; it is never created. A file that
    // cannot be written is opened for reading; its changes are then refused.
    void Open(const QString& connectionString, Access access = Access::ReadWrite);
    // Runs one statement; it has taken effect when the call returns.
    void Execute(const QString& sql);
    // Ends the result sets opened on this connection and releases the file.
    void Close();

    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    bool IsOpen() const { return db_ != nullptr; }
    QString FilePath() const { return path_; }

    // Sees the text of every statement and transaction step this layer runs, for tests.
    using StatementObserver = std::function<void(const QString&)>;
    static void SetStatementObserver(StatementObserver observer);

    // How long a file locked by another process is waited for before that is an error.
    static constexpr int kBusyTimeoutMs = 5000;

private:
    friend class RecordSet;
    Statement Prepare(const QString& sql, const QString& what);
    // Raises the connection's last SQLite error as an AppError of its kind.
    [[noreturn]] void Raise(const QString& what, const QString& sql) const;
    void Transaction(const QString& step, const char* sql, const QString& what);
    void Detach(RecordSet* rs);

    sqlite3* db_ = nullptr;
    QString path_;
    std::vector<RecordSet*> recordSets_;
};

// A transaction for one scope: begun on construction, rolled back on leaving the scope
// unless Commit() was reached, so an error half-way stores nothing.
class TransactionScope
{
public:
    explicit TransactionScope(Connection& connection);
    ~TransactionScope();
    TransactionScope(const TransactionScope&) = delete;
    TransactionScope& operator=(const TransactionScope&) = delete;

    void Commit();

private:
    Connection& connection_;
    bool done_ = false;
};

// One value of the current row; may be Null. The conversions raise an AppError for Null,
// as the program never converts a missing value.
class Field
{
public:
    explicit Field(QVariant value) : value_(std::move(value)) { }
    bool IsNull() const { return value_.isNull(); }
    const QVariant& Value() const { return value_; }
    qint32 ToInt32() const;
    double ToDouble() const;
    QString ToText() const;

private:
    QVariant value_;
};

class RecordSet
{
public:
    RecordSet() = default;
    ~RecordSet();
    RecordSet(const RecordSet&) = delete;
    RecordSet& operator=(const RecordSet&) = delete;

    // Runs the SELECT on the open connection and stands on its first row, or at the end.
    void Open(const QString& sql, Connection& connection);
    // True when the position is past the last row ("EOF").
    bool IsEOF() const { return eof_; }
    // The value of a column of the current row by 0-based position.
    Field Fields(int index) const;
    void MoveNext();
    void Close();

private:
    friend class Connection;
    void Step();
    void Finalize();

    Connection* connection_ = nullptr;
    Statement stmt_;
    QString sql_;
    bool eof_ = true;
};
