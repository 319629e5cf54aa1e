#include "platform/Database.h"

#include "platform/AppError.h"
#include "platform/QuotedText.h"
#include "platform/Regional.h"

#include <QCollator>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString kDriver = QStringLiteral("Microsoft Access Driver (*.mdb)");

Connection::StatementObserver& Observer()
{
    static Connection::StatementObserver observer;
    return observer;
}

void Report(const QString& text)
{
    if (Observer())
        Observer()(text);
}

[[noreturn]] void Fail(const QString& message, ErrorKind kind = ErrorKind::Other)
{
    throw AppError(message.toStdString(), kind);
}

// The statement as SQLite can take it: a lone half of a surrogate pair (a character cut in two)
// would make its UTF-16 reader swallow the unit after it, and a NUL would end the text early, so
// each becomes U+FFFD before anything reads the quoting.
QString Representable(const QString& text)
{
    QString out = text;
    for (int i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < out.size() && out.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate() || c.isNull())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

// A statement of the program, made ready for SQLite: date literals become parameters.
struct Translated
{
    QString sql;
    std::vector<double> dates;
};

Translated Translate(const QString& text)
{
    Translated out;
    out.sql.reserve(text.size());
    const int n = text.size();
    int i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // Quoted text (or name) with its quote doubled inside: passed on unchanged;
            // a # inside it is just a character.
            const int j = ClosingQuote(text, i + 1, c);
            if (j < 0)
                Fail(QStringLiteral("The statement has text without its closing quote:\n%1").arg(text),
                     ErrorKind::BadInput);
            out.sql += QStringView(text).mid(i, j - i + 1);
            i = j + 1;
            continue;
        }
        if (c == QLatin1Char('#')) {
            const int close = text.indexOf(QLatin1Char('#'), i + 1);
            if (close < 0)
                Fail(QStringLiteral("The statement has a date without its closing # mark:\n%1").arg(text),
                     ErrorKind::BadInput);
            const QStringView literal = QStringView(text).mid(i + 1, close - i - 1);
            const auto moment = ReadDateText(literal);
            if (!moment)
                Fail(QStringLiteral("\"%1\" is not a date and time in this computer's regional format, "
                                    "in the statement:\n%2")
                         .arg(literal.toString(), text),
                     ErrorKind::BadInput);
            out.dates.push_back(*moment);
            out.sql += QLatin1Char('?');
            i = close + 1;
            continue;
        }
        out.sql += c;
        ++i;
    }
    return out;
}

// Replaces SQLite's ASCII-only NOCASE on our connections.
int CollateNames(void*, int lenA, const void* a, int lenB, const void* b)
{
    return CompareNames(QString::fromUtf8(static_cast<const char*>(a), lenA),
                        QString::fromUtf8(static_cast<const char*>(b), lenB));
}

// KEY=value pairs, each ended by ';'. A value between braces may hold anything, a '}' in it
// written twice; any other value ends at the next ';'. The first of a repeated key counts.
bool ParseConnectionString(const QString& cs, QString& driver, QString& path)
{
    static const QRegularExpression key(QStringLiteral("^\\s*([A-Za-z][A-Za-z ]*)="));
    int pos = 0;
    bool haveDriver = false, havePath = false;
    while (pos < cs.size()) {
        const auto m = key.match(QStringView(cs).mid(pos));
        if (!m.hasMatch())
            return false;
        const QString name = m.captured(1).trimmed().toUpper();
        int i = pos + static_cast<int>(m.capturedLength(0));
        QString value;
        if (i < cs.size() && cs.at(i) == QLatin1Char('{')) {
            i = ClosingQuote(cs, i + 1, QLatin1Char('}'), &value);
            if (i < 0)
                return false;
            if (++i < cs.size() && cs.at(i) != QLatin1Char(';'))
                return false;
        } else {
            const int end = cs.indexOf(QLatin1Char(';'), i);
            const int stop = end < 0 ? static_cast<int>(cs.size()) : end;
            value = cs.mid(i, stop - i);
            i = stop;
        }
        if (name == QLatin1String("DRIVER") && !haveDriver) {
            driver = value;
            haveDriver = true;
        } else if (name == QLatin1String("DBQ") && !havePath) {
            path = value;
            havePath = true;
        }
        pos = i + 1;
    }
    return haveDriver && havePath;
}

} // namespace

QString ConnectionStringForFile(const QString& path)
{
    QString file = path;
    // A path that could be read as more than one value goes between braces, a '}' in it doubled.
    if (file.contains(QLatin1Char(';')) || file.contains(QLatin1Char('{')) || file.contains(QLatin1Char('}'))
        || (!file.isEmpty() && file.front().isSpace()))
        file = QLatin1Char('{') + file.replace(QLatin1Char('}'), QLatin1String("}}")) + QLatin1Char('}');
    return QStringLiteral("DRIVER=%1;DBQ=%2;").arg(kDriver, file);
}

ErrorKind SqliteErrorKind(int code)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ErrorKind::Locked;
    case SQLITE_READONLY:
        return ErrorKind::ReadOnly;
    case SQLITE_FULL:
        return ErrorKind::Full;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ErrorKind::Damaged;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
        return ErrorKind::CannotOpen;
    case SQLITE_CONSTRAINT:
        return ErrorKind::Refused;
    default:
        return ErrorKind::Other;
    }
}

int CompareNames(QStringView a, QStringView b)
{
    static QCollator collator = [] {
        QCollator c{QLocale()};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(true);
        return c;
    }();
    int r = collator.compare(a, b);
    if (r == 0)
        r = a.compare(b, Qt::CaseInsensitive);
    return r;
}

// Connection ------------------------------------------------------------------------------

Connection::~Connection()
{
    Close();
}

void Connection::SetStatementObserver(StatementObserver observer)
{
    Observer() = std::move(observer);
}

void Connection::Open(const QString& connectionString, Access access)
{
    if (db_)
        Fail(QStringLiteral("The database connection is already open."));
    QString driver, path;
    if (!ParseConnectionString(connectionString, driver, path))
        Fail(QStringLiteral("The database connection string cannot be read: %1").arg(connectionString),
             ErrorKind::BadInput);
    if (driver.compare(kDriver, Qt::CaseInsensitive) != 0)
        Fail(QStringLiteral("The database driver \"%1\" is not known; the program reads \"%2\" files.")
                 .arg(driver, kDriver),
             ErrorKind::BadInput);
    if (path.isEmpty())
        Fail(QStringLiteral("The database connection string names no file."), ErrorKind::BadInput);
    const QFileInfo info(path);
    if (!info.exists())
        Fail(QStringLiteral("The database file \"%1\" does not exist.").arg(path), ErrorKind::CannotOpen);
    if (info.isDir())
        Fail(QStringLiteral("\"%1\" is a folder, not a database file.").arg(path), ErrorKind::NotADatabase);
    // Opening a named pipe or a device would wait for a writer forever.
    if (!info.isFile())
        Fail(QStringLiteral("\"%1\" is not a regular file, so it cannot be a database file.").arg(path),
             ErrorKind::NotADatabase);

    sqlite3* db = nullptr;
    const QByteArray file = path.toUtf8();
    // Never SQLITE_OPEN_CREATE: the program does not make its database. A file that cannot be
    // written is opened for reading.
    const int rc = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
        sqlite3_close_v2(db);
        Fail(QStringLiteral("The database file \"%1\" cannot be opened: %2.").arg(path, msg), SqliteErrorKind(rc));
    }
    db_ = db;
    path_ = path;
    try {
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        sqlite3_extended_result_codes(db_, 1);
        // In the file's own encoding, or SQLite would keep preferring its built-in one.
        sqlite3_create_collation_v2(db_, "NOCASE", SQLITE_UTF8, nullptr, CollateNames, nullptr);

        // Reading the schema also tells a foreign or damaged file, and waits for a lock.
        sqlite3_stmt* raw = nullptr;
        const char* sql = "SELECT name, type FROM sqlite_master WHERE type IN ('table','view','index')";
        int prc = sqlite3_prepare_v2(db_, sql, -1, &raw, nullptr);
        Statement st(raw);
        bool hasProject = false, hasPeriod = false, hasQuery = false, hasSpanIndex = false;
        if (prc == SQLITE_OK)
            prc = SQLITE_ROW;
        while (prc == SQLITE_ROW && (prc = sqlite3_step(st.get())) == SQLITE_ROW) {
            const QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
            const QString type = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1)));
            if (type == QLatin1String("table") && name.compare(QLatin1String("tblProject"), Qt::CaseInsensitive) == 0)
                hasProject = true;
            else if (type == QLatin1String("table")
                     && name.compare(QLatin1String("tblTimePeriod"), Qt::CaseInsensitive) == 0)
                hasPeriod = true;
            else if (type == QLatin1String("index"))
                hasSpanIndex = hasSpanIndex || name.compare(QLatin1String(kSpanIndex), Qt::CaseInsensitive) == 0;
            else if (name.compare(QLatin1String("qryProject"), Qt::CaseInsensitive) == 0)
                hasQuery = true;
        }
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
        st.reset();
        if (prc != SQLITE_DONE) {
            const ErrorKind kind = SqliteErrorKind(prc);
            if ((prc & 0xff) == SQLITE_NOTADB)
                Fail(QStringLiteral("The file \"%1\" is not a database.").arg(path), ErrorKind::NotADatabase);
            if (kind == ErrorKind::Locked)
                Fail(QStringLiteral("The database file \"%1\" is locked by another program.").arg(path), kind);
            Fail(QStringLiteral("The database file \"%1\" cannot be read: %2.").arg(path, msg), kind);
        }
        QStringList missing;
        if (!hasProject)
            missing << QStringLiteral("the table tblProject");
        if (!hasPeriod)
            missing << QStringLiteral("the table tblTimePeriod");
        if (!hasQuery)
            missing << QStringLiteral("the query qryProject");
        if (!missing.isEmpty())
            Fail(QStringLiteral("The file \"%1\" is not a Tallyclock database: it lacks %2.")
                     .arg(path, missing.join(QStringLiteral(", "))),
                 ErrorKind::NotADatabase);
        // A record number past 2147483647 cannot be read back, and the list would no longer
        // load: such an insert is undone. Temporary triggers, so files made elsewhere are
        // covered and the file itself is left as it is.
        const char* guards =
            "CREATE TEMP TRIGGER tcProjectIDLimit AFTER INSERT ON main.tblProject WHEN NEW.ProjectID > 2147483647 "
            "BEGIN SELECT RAISE(ABORT, 'the database has no record number left for a new project'); END;"
            "CREATE TEMP TRIGGER tcTimePeriodIDLimit AFTER INSERT ON main.tblTimePeriod WHEN NEW.TimePeriodID > "
            "2147483647 "
            "BEGIN SELECT RAISE(ABORT, 'the database has no record number left for a new time period'); END;";
        if (sqlite3_exec(db_, guards, nullptr, nullptr, nullptr) != SQLITE_OK)
            Fail(QStringLiteral("The database file \"%1\" cannot be read: %2.")
                     .arg(path, QString::fromUtf8(sqlite3_errmsg(db_))),
                 SqliteErrorKind(sqlite3_extended_errcode(db_)));
        if (access == Access::ReadOnly) {
            if (sqlite3_exec(db_, "PRAGMA query_only=1", nullptr, nullptr, nullptr) != SQLITE_OK)
                Fail(QStringLiteral("The database file \"%1\" cannot be opened for reading only.").arg(path));
        } else if (!hasSpanIndex && sqlite3_db_readonly(db_, "main") == 0) {
            // Once, on the first open of a database made before the index: it only speeds up
            // reading, so a failure (a full disk, a lock held too long) is left for another time.
            const QByteArray index = QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON tblTimePeriod "
                                                    "(%2, StartTime, EndTime, ProjectID)")
                                         .arg(QLatin1String(kSpanIndex), QLatin1String(kShortPeriod))
                                         .toUtf8();
            sqlite3_exec(db_, index.constData(), nullptr, nullptr, nullptr);
        }
    } catch (...) {
        Close();
        throw;
    }
}

void Connection::Raise(const QString& what, const QString& sql) const
{
    // In the user's words: SQLite's own text only where it is written for users, as the
    // message of a trigger that refuses a change.
    const int code = db_ ? sqlite3_extended_errcode(db_) : SQLITE_MISUSE;
    const ErrorKind kind = SqliteErrorKind(code);
    QString reason;
    switch (kind) {
    case ErrorKind::Locked:
        reason = QStringLiteral("the database file \"%1\" is locked by another program").arg(path_);
        break;
    case ErrorKind::ReadOnly:
        reason = QStringLiteral("the database file \"%1\" is read-only").arg(path_);
        break;
    case ErrorKind::Full:
        reason = QStringLiteral("the disk that holds the database file \"%1\" is full").arg(path_);
        break;
    case ErrorKind::Damaged:
        reason = QStringLiteral("the database file \"%1\" is damaged").arg(path_);
        break;
    case ErrorKind::CannotOpen:
        reason = QStringLiteral("the database file \"%1\" cannot be read or written").arg(path_);
        break;
    case ErrorKind::Refused:
        reason = code == SQLITE_CONSTRAINT_TRIGGER ? QString::fromUtf8(sqlite3_errmsg(db_))
                                                   : QStringLiteral("a value breaks one of the database's rules");
        break;
    default:
        reason = QStringLiteral("the database cannot carry out the statement");
        break;
    }
    Fail(QStringLiteral("%1: %2. The statement was:\n%3").arg(what, reason, sql), kind);
}

Statement Connection::Prepare(const QString& sql, const QString& what)
{
    if (!db_)
        Fail(QStringLiteral("The database connection is not open. The statement was:\n%1").arg(sql));
    const Translated t = Translate(Representable(sql));
    sqlite3_stmt* raw = nullptr;
    const void* tail = nullptr;
    const int bytes = static_cast<int>(t.sql.size() * sizeof(char16_t));
    if (sqlite3_prepare16_v2(db_, t.sql.utf16(), bytes, &raw, &tail) != SQLITE_OK)
        Raise(what, sql);
    Statement st(raw);
    if (!st)
        Fail(QStringLiteral("The statement is empty."), ErrorKind::BadInput);
    // A second statement after the first is never ours: refuse it rather than ignore it.
    const auto* rest = static_cast<const char16_t*>(tail);
    const auto* end = reinterpret_cast<const char16_t*>(t.sql.utf16()) + t.sql.size();
    for (; rest && rest < end; ++rest) {
        if (!QChar(*rest).isSpace() && *rest != u';')
            Fail(QStringLiteral("The text holds more than one statement:\n%1").arg(sql), ErrorKind::BadInput);
    }
    for (size_t k = 0; k < t.dates.size(); ++k) {
        if (sqlite3_bind_double(st.get(), static_cast<int>(k) + 1, t.dates[k]) != SQLITE_OK) {
            // Finalized before the error is read, as the message has always described.
            st.reset();
            Raise(what, sql);
        }
    }
    return st;
}

void Connection::Execute(const QString& sql)
{
    Report(sql);
    const QString what = QStringLiteral("Nothing was stored");
    Statement st = Prepare(sql, what);
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) { }
    if (rc != SQLITE_DONE) {
        sqlite3_reset(st.get());
        st.reset();
        Raise(what, sql);
    }
}

void Connection::Close()
{
    if (!db_)
        return;
    for (RecordSet* rs : recordSets_) {
        rs->Finalize();
        rs->connection_ = nullptr;
        rs->eof_ = true;
    }
    recordSets_.clear();
    // With every statement finalized this cannot be busy; _v2 defers it if ever it were.
    sqlite3_close_v2(db_);
    db_ = nullptr;
    path_.clear();
}

void Connection::Transaction(const QString& step, const char* sql, const QString& what)
{
    Report(step);
    if (!db_)
        Fail(QStringLiteral("The database connection is not open."));
    // SQLite may already have rolled back on its own after certain errors.
    if (qstrcmp(sql, "ROLLBACK") == 0 && sqlite3_get_autocommit(db_))
        return;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        Raise(what, QString::fromLatin1(sql));
}

void Connection::BeginTrans()
{
    // IMMEDIATE takes the write lock now (waiting for it), so the statements that follow
    // cannot fail for want of it half-way.
    Transaction(QStringLiteral("BeginTrans"), "BEGIN IMMEDIATE", QStringLiteral("Nothing was stored"));
}

void Connection::CommitTrans()
{
    Transaction(QStringLiteral("CommitTrans"), "COMMIT", QStringLiteral("Nothing was stored"));
}

void Connection::RollbackTrans()
{
    Transaction(QStringLiteral("RollbackTrans"), "ROLLBACK",
                QStringLiteral("The unfinished change could not be undone"));
}

TransactionScope::TransactionScope(Connection& connection) : connection_(connection)
{
    connection_.BeginTrans();
}

TransactionScope::~TransactionScope()
{
    if (done_)
        return;
    try {
        connection_.RollbackTrans();
    } catch (const AppError&) {
        // The first error is the one the user needs; closing the connection rolls back anyway.
    }
}

void TransactionScope::Commit()
{
    connection_.CommitTrans();
    done_ = true;
}

void Connection::Detach(RecordSet* rs)
{
    recordSets_.erase(std::remove(recordSets_.begin(), recordSets_.end(), rs), recordSets_.end());
}

// Field ------------------------------------------------------------------------------------

namespace {
[[noreturn]] void NullValue()
{
    Fail(QStringLiteral("The database holds no value (Null) where the program needs one."), ErrorKind::BadInput);
}
} // namespace

qint32 Field::ToInt32() const
{
    if (IsNull())
        NullValue();
    if (value_.typeId() == QMetaType::LongLong) {
        const qint64 v = value_.toLongLong();
        if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
            Fail(QStringLiteral("The number %1 in the database is too large for the program.").arg(v),
                 ErrorKind::BadInput);
        return static_cast<qint32>(v);
    }
    bool ok = false;
    double d = value_.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        Fail(QStringLiteral("The database holds \"%1\" where the program needs a number.").arg(value_.toString()),
             ErrorKind::BadInput);
    d = std::nearbyint(d);
    if (d < std::numeric_limits<qint32>::min() || d > std::numeric_limits<qint32>::max())
        Fail(QStringLiteral("The number %1 in the database is too large for the program.").arg(value_.toString()),
             ErrorKind::BadInput);
    return static_cast<qint32>(d);
}

double Field::ToDouble() const
{
    if (IsNull())
        NullValue();
    bool ok = false;
    const double d = value_.toDouble(&ok);
    if (!ok)
        Fail(QStringLiteral("The database holds \"%1\" where the program needs a number.").arg(value_.toString()),
             ErrorKind::BadInput);
    return d;
}

QString Field::ToText() const
{
    if (IsNull())
        NullValue();
    if (value_.typeId() == QMetaType::QString)
        return value_.toString();
    if (value_.typeId() == QMetaType::Double)
        return QString::number(value_.toDouble(), 'g', 15);
    return value_.toString();
}

// RecordSet --------------------------------------------------------------------------------

RecordSet::~RecordSet()
{
    Finalize();
    if (connection_)
        connection_->Detach(this);
}

void RecordSet::Open(const QString& sql, Connection& connection)
{
    if (stmt_)
        Fail(QStringLiteral("The result set is already open."));
    Report(sql);
    stmt_ = connection.Prepare(sql, QStringLiteral("The data could not be read"));
    connection_ = &connection;
    connection.recordSets_.push_back(this);
    sql_ = sql;
    eof_ = false;
    Step();
}

void RecordSet::Step()
{
    const int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW)
        return;
    eof_ = true;
    if (rc != SQLITE_DONE) {
        // Only an open result set steps, so its connection is there to say why.
        const Connection& c = *connection_;
        Close();
        c.Raise(QStringLiteral("The data could not be read"), sql_);
    }
}

Field RecordSet::Fields(int index) const
{
    if (!stmt_ || eof_)
        Fail(QStringLiteral("There is no current row in the result of:\n%1").arg(sql_));
    if (index < 0 || index >= sqlite3_column_count(stmt_.get()))
        Fail(QStringLiteral("There is no column %1 in the result of:\n%2").arg(index).arg(sql_));
    switch (sqlite3_column_type(stmt_.get(), index)) {
    case SQLITE_NULL:
        return Field(QVariant());
    case SQLITE_INTEGER:
        return Field(QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt_.get(), index))));
    case SQLITE_FLOAT:
        return Field(QVariant(sqlite3_column_double(stmt_.get(), index)));
    case SQLITE_BLOB:
        return Field(QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt_.get(), index)),
                                         sqlite3_column_bytes(stmt_.get(), index))));
    default: {
        const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(stmt_.get(), index));
        const int bytes = sqlite3_column_bytes16(stmt_.get(), index);
        return Field(QVariant(QString::fromUtf16(text, bytes / 2)));
    }
    }
}

void RecordSet::MoveNext()
{
    if (!stmt_ || eof_)
        Fail(QStringLiteral("The result set is already past its last row:\n%1").arg(sql_));
    Step();
}

void RecordSet::Close()
{
    Finalize();
    if (connection_) {
        connection_->Detach(this);
        connection_ = nullptr;
    }
    eof_ = true;
}

void RecordSet::Finalize()
{
    stmt_.reset();
}

void StatementFinalizer::operator()(sqlite3_stmt* st) const noexcept
{
    sqlite3_finalize(st);
}
