#include "platform/DataFolder.h"

#include "platform/AppError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

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

QString& ChosenFolder()
{
    static QString folder;
    return folder;
}

[[noreturn]] void Fail(const QString& message)
{
    throw AppError(message.toStdString());
}

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Makes the folder and any missing parent, each for its owner only (as the XDG base
// directories are made).
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
    Fail(
        QStringLiteral("The folder \"%1\" cannot be made: %2.").arg(folder, Reason(error == EEXIST ? ENOTDIR : error)));
}

// A new, empty file in the folder with a name of its own; removed again unless Keep()
// moves it into place first.
class TempFile
{
public:
    explicit TempFile(const QString& folder)
    {
        QByteArray pattern = QFile::encodeName(folder + QStringLiteral("/.Tallyclock-XXXXXX"));
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0)
            Fail(QStringLiteral("No file can be made in \"%1\": %2.").arg(folder, Reason(errno)));
        ::close(fd);
        path_ = QFile::decodeName(pattern);
    }
    ~TempFile() { QFile::remove(path_); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const QString& path() const { return path_; }

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
                 .arg(path, QString::fromUtf8(sqlite3_errstr(rc))));
    return owned;
}

void Check(int rc, sqlite3* db, const QString& path)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        Fail(QStringLiteral("The database \"%1\" cannot be written: %2.")
                 .arg(path, QString::fromUtf8(sqlite3_errmsg(db))));
}

} // namespace

QString UserDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/tallyclock");
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
        Fail(QStringLiteral("The program's database schema cannot be read: %1.").arg(schema.errorString()));
    const TempFile temp(folder);
    {
        const Sqlite db = OpenFile(temp.path(), SQLITE_OPEN_READWRITE);
        Check(sqlite3_exec(db.get(), schema.readAll().constData(), nullptr, nullptr, nullptr), db.get(), target);
    }
    // Another start may have made the file meanwhile: then that one is used.
    if (!MoveNoReplace(temp.path(), target) && errno != EEXIST)
        Fail(QStringLiteral("The database \"%1\" cannot be made: %2.").arg(target, Reason(errno)));
}

void BackUpDatabase(const QString& folder, const QDate& today)
{
    const QString source = DatabaseFileIn(folder);
    QDir backups(folder + QStringLiteral("/backups"));
    const QString name = QStringLiteral("Tallyclock-%1.mdb").arg(today.toString(Qt::ISODate));
    try {
        MakeFolder(backups.path());
        if (!backups.exists(name)) {
            const TempFile temp(backups.path());
            {
                const Sqlite from = OpenFile(source, SQLITE_OPEN_READONLY);
                const Sqlite to = OpenFile(temp.path(), SQLITE_OPEN_READWRITE);
                sqlite3_backup* backup = sqlite3_backup_init(to.get(), "main", from.get(), "main");
                if (!backup)
                    Fail(QStringLiteral("\"%1\" cannot be copied: %2.")
                             .arg(source, QString::fromUtf8(sqlite3_errmsg(to.get()))));
                sqlite3_backup_step(backup, -1);
                Check(sqlite3_backup_finish(backup), to.get(), backups.filePath(name));
            }
            if (!QFile::rename(temp.path(), backups.filePath(name)))
                Fail(QStringLiteral("\"%1\" cannot be made.").arg(backups.filePath(name)));
        }
        // The names sort by date; the oldest go.
        QStringList all = backups.entryList({QStringLiteral("Tallyclock-\?\?\?\?-\?\?-\?\?.mdb")}, QDir::Files,
                                            QDir::Name);
        while (all.size() > kBackupsKept)
            backups.remove(all.takeFirst());
    } catch (const AppError& e) {
        qWarning("Tallyclock: no backup of %s today: %s", qUtf8Printable(source), e.what());
    }
}
