#include "platform/DataFolder.h"

#include "platform/AppError.h"
#include "platform/Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kDatabaseName = QStringLiteral("Tallyclock.mdb");
constexpr qsizetype kBackupsKept = 7;
// About a megabyte of a database with the usual page size.
constexpr int kPagesPerStep = 256;

QString& ChosenFolder()
{
    static QString folder;
    return folder;
}

[[noreturn]] void Fail(const QString& message, ErrorKind kind)
{
    throw AppError(message.toStdString(), kind);
}

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

void MakeFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) == 0)
        return;
    int error = errno;
    if (error == ENOENT && QFileInfo(folder).dir().path() != folder) {
        MakeFolder(QFileInfo(folder).dir().path());
        if (::mkdir(path.constData(), 0700) == 0)
            return;
        error = errno;
    }
    if (error == EEXIST && QFileInfo(folder).isDir())
        return;
    if (error == EEXIST)
        error = ENOTDIR;
    Fail(QStringLiteral("The folder \"%1\" cannot be made: %2.").arg(folder, Reason(error)), KindOfErrno(error));
}

namespace {

// A new, empty file in the folder with a name of its own; removed again unless Keep()
// moves it into place first.
class TempFile
{
public:
    explicit TempFile(const QString& folder)
    {
        QByteArray pattern = QFile::encodeName(folder + QStringLiteral("/.Tallyclock-XXXXXX"));
        const int fd = ::mkstemp(pattern.data());
        const int error = errno;
        if (fd < 0)
            Fail(QStringLiteral("No file can be made in \"%1\": %2.").arg(folder, Reason(error)), KindOfErrno(error));
        ::close(fd);
        path_ = QFile::decodeName(pattern);
    }
    ~TempFile() { QFile::remove(path_); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const QString& Path() const { return path_; }

private:
    QString path_;
};

// Moves the file to a name that must be free, failing with EEXIST rather than replace a file.
bool MoveNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from), target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // A file system without it: a second name, which is as sure to be free, and the first is dropped.
    return (errno == EINVAL || errno == ENOSYS) && ::link(source.constData(), target.constData()) == 0;
}

using Sqlite = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

Sqlite OpenFile(const QString& path, int flags)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    Sqlite owned(db, &sqlite3_close);
    if (rc != SQLITE_OK)
        Fail(QStringLiteral("The database \"%1\" cannot be opened: %2.")
                 .arg(path, QString::fromUtf8(sqlite3_errstr(rc))),
             SqliteErrorKind(rc));
    return owned;
}

void Check(int rc, sqlite3* db, const QString& path)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        Fail(QStringLiteral("The database \"%1\" cannot be written: %2.")
                 .arg(path, QString::fromUtf8(sqlite3_errmsg(db))),
             SqliteErrorKind(rc));
}

// A backup the program made: a regular file named Tallyclock-YYYY-MM-DD.mdb for a real date.
// Gives that date; an invalid one for anything else, which the program leaves alone.
QDate BackupDate(const QFileInfo& file)
{
    static const QRegularExpression pattern(QStringLiteral("^Tallyclock-([0-9]{4}-[0-9]{2}-[0-9]{2})\\.mdb$"));
    const auto match = pattern.match(file.fileName());
    if (!match.hasMatch() || !file.isFile() || file.isSymLink())
        return {};
    return QDate::fromString(match.captured(1), Qt::ISODate);
}

// Copies the database page by page, a few at a time: between the steps the program may write,
// and a write makes the copy start again, so the copy is always whole. False when goOn said stop.
bool CopyDatabase(const QString& source, const QString& target, const QString& backup,
                  const std::function<bool()>& goOn)
{
    const Sqlite from = OpenFile(source, SQLITE_OPEN_READONLY);
    sqlite3_busy_timeout(from.get(), Connection::kBusyTimeoutMs);
    // Only a file the program would open is copied: a damaged one never pushes out good backups.
    sqlite3_stmt* check = nullptr;
    const char* sql = "SELECT count(*) FROM sqlite_master WHERE type='table' AND lower(name) IN ('tblproject', "
                      "'tbltimeperiod') OR type IN ('table','view') AND lower(name)='qryproject'";
    int rc = sqlite3_prepare_v2(from.get(), sql, -1, &check, nullptr);
    rc = rc == SQLITE_OK ? sqlite3_step(check) : rc;
    const bool complete = rc == SQLITE_ROW && sqlite3_column_int(check, 0) == 3;
    sqlite3_finalize(check);
    if ((rc & 0xff) == SQLITE_BUSY)
        Fail(QStringLiteral("The database \"%1\" is locked by another program.").arg(source), ErrorKind::Locked);
    if (!complete)
        Fail(QStringLiteral("\"%1\" is not a Tallyclock database that can be read.").arg(source),
             ErrorKind::NotADatabase);

    const Sqlite to = OpenFile(target, SQLITE_OPEN_READWRITE);
    sqlite3_backup* copy = sqlite3_backup_init(to.get(), "main", from.get(), "main");
    rc = copy ? SQLITE_OK : sqlite3_errcode(to.get());
    while (rc == SQLITE_OK && (!goOn || goOn()))
        rc = sqlite3_backup_step(copy, kPagesPerStep);
    sqlite3_backup_finish(copy);
    if (rc == SQLITE_OK)
        return false;
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
        Fail(QStringLiteral("The database \"%1\" is locked by another program.").arg(source), ErrorKind::Locked);
    if (rc != SQLITE_DONE)
        Fail(QStringLiteral("\"%1\" cannot be copied to \"%2\": %3.")
                 .arg(source, backup, QString::fromUtf8(sqlite3_errstr(rc))),
             SqliteErrorKind(rc));
    return true;
}

// The newest backups dated today or before stay, the count of them that is kept; one dated
// after today (left by a start while the clock was ahead) is neither counted nor removed.
void RemoveOldBackups(const QDir& backups, const QDate& today)
{
    QStringList dated, ahead;
    for (const QFileInfo& file : backups.entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name)) {
        const QDate date = BackupDate(file);
        if (date.isValid())
            (date > today ? ahead : dated) << file.fileName();
    }
    while (dated.size() > kBackupsKept)
        QFile::remove(backups.filePath(dated.takeFirst()));
    if (!ahead.isEmpty())
        qWarning("Tallyclock: backups dated after today are kept and not counted: %s",
                 qUtf8Printable(ahead.join(QStringLiteral(", "))));
}

// A copy cut short by a killed program leaves its temporary file behind, as large as the
// database; only the copy that holds the database's claim backs up, so any such file is left over.
void RemoveCutShortCopies(const QDir& backups)
{
    const QStringList pattern{QStringLiteral(".Tallyclock-??????")};
    for (const QFileInfo& file : backups.entryInfoList(pattern, QDir::Files | QDir::Hidden | QDir::NoSymLinks))
        QFile::remove(file.filePath());
}

} // namespace

QString XdgFolder(const char* variable, const char* underHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(underHome);
}

QString UserDataFolder()
{
    return XdgFolder("XDG_DATA_HOME", ".local/share") + QStringLiteral("/tallyclock");
}

QString DatabaseFolderFor(const QString& programFolder)
{
    return QFileInfo::exists(QDir(programFolder).filePath(kDatabaseName)) ? programFolder : UserDataFolder();
}

QString OpenDataFolder(const QString& programFolder)
{
    const QString folder = DatabaseFolderFor(programFolder);
    if (folder != programFolder)
        MakeDatabase(folder);
    ChosenFolder() = folder;
    return folder;
}

QString DataFolder()
{
    return ChosenFolder().isEmpty() ? QCoreApplication::applicationDirPath() : ChosenFolder();
}

QString DatabaseFileIn(const QString& folder)
{
    return folder + QLatin1Char('/') + kDatabaseName;
}

void MakeDatabase(const QString& folder)
{
    const QString target = DatabaseFileIn(folder);
    if (QFileInfo::exists(target))
        return;
    MakeFolder(folder);
    QFile schema(QStringLiteral(":/tallyclock/schema.sql"));
    if (!schema.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("The program's database schema cannot be read: %1.").arg(schema.errorString()),
             ErrorKind::Other);
    const TempFile temp(folder);
    {
        const Sqlite db = OpenFile(temp.Path(), SQLITE_OPEN_READWRITE);
        Check(sqlite3_exec(db.get(), schema.readAll().constData(), nullptr, nullptr, nullptr), db.get(), target);
    }
    // Another start may have made the file meanwhile: then that one is used.
    if (!MoveNoReplace(temp.Path(), target) && errno != EEXIST) {
        const int error = errno;
        Fail(QStringLiteral("The database \"%1\" cannot be made: %2.").arg(target, Reason(error)), KindOfErrno(error));
    }
}

void BackUpDatabase(const QString& folder, const QDate& today, const std::function<bool()>& goOn)
{
    const QString source = DatabaseFileIn(folder);
    QDir backups(folder + QStringLiteral("/backups"));
    const QString name = QStringLiteral("Tallyclock-%1.mdb").arg(today.toString(Qt::ISODate));
    try {
        // Written through, a link would let rotation delete files elsewhere that bear our names.
        if (QFileInfo(backups.path()).isSymLink())
            Fail(QStringLiteral("\"%1\" is a symbolic link, not a folder of the program's own.").arg(backups.path()),
                 ErrorKind::Refused);
        MakeFolder(backups.path());
        RemoveCutShortCopies(backups);
        if (BackupDate(QFileInfo(backups.filePath(name))).isValid())
            return;
        const TempFile temp(backups.path());
        if (!CopyDatabase(source, temp.Path(), backups.filePath(name), goOn))
            return;
        // Whatever stands under today's name was not made by the program: it stays.
        if (!MoveNoReplace(temp.Path(), backups.filePath(name))) {
            const int error = errno;
            Fail(QStringLiteral("\"%1\" cannot be made: %2.").arg(backups.filePath(name), Reason(error)),
                 KindOfErrno(error));
        }
        RemoveOldBackups(backups, today);
    } catch (const AppError& e) {
        qWarning("Tallyclock: no backup of %s today: %s", qUtf8Printable(source), e.what());
    }
}
