#include "platform/Autostart.h"

#include "platform/AppError.h"
#include "platform/AppId.h"
#include "platform/DataFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const QString& message, ErrorKind kind)
{
    throw AppError(message.toStdString(), kind);
}

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString AutostartFile()
{
    return XdgFolder("XDG_CONFIG_HOME", ".config") + QStringLiteral("/autostart/") + QLatin1String(kAppId)
        + QStringLiteral(".desktop");
}

QByteArray Entry(const QString& exec)
{
    return "[Desktop Entry]\nType=Application\nName=Tallyclock\nExec=" + exec.toUtf8() + "\nIcon=" + QByteArray(kAppId)
        + '\n';
}

// A program as an Exec value names it. A path with a character that the desktop entry rules
// reserve goes between double quotes, where '"', '`', '$' and '\' take a backslash, which the
// value's own escaping then doubles; '%' is always doubled.
QString ExecValue(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    QString value;
    bool quoted = false;
    for (const QChar c : program) {
        quoted = quoted || reserved.contains(c);
        if (c == QLatin1Char('%'))
            value += QLatin1Char('%');
        else if (QStringLiteral("\"`$\\").contains(c))
            value += c == QLatin1Char('\\') ? QStringLiteral("\\\\\\") : QStringLiteral("\\\\");
        value += c;
    }
    return quoted ? QLatin1Char('"') + value + QLatin1Char('"') : value;
}

// The program an Exec value of ours names: ExecValue read backwards.
QString ProgramOf(QString value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2)
                    .replace(QStringLiteral("\\\\\\\\"), QStringLiteral("\\"))
                    .remove(QStringLiteral("\\\\"));
    return value.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

// This program: by its name alone when it is the tallyclock found on PATH, else by its own
// path, so that a portable copy starts itself.
QString Program()
{
    const QString self = QCoreApplication::applicationFilePath();
    if (std::any_of(self.begin(), self.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }))
        Fail(QStringLiteral("the path of the program, %1, cannot be written in a desktop entry.").arg(self),
             ErrorKind::BadInput);
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("tallyclock"));
    if (!onPath.isEmpty() && QFileInfo(onPath).canonicalFilePath() == QFileInfo(self).canonicalFilePath())
        return QStringLiteral("tallyclock");
    return self;
}

// An entry as some copy of the program writes it, unchanged by the user.
bool IsOurs(const QByteArray& content)
{
    static const QRegularExpression exec(QStringLiteral("^Exec=(.*)$"), QRegularExpression::MultilineOption);
    const QString program = ProgramOf(exec.match(QString::fromUtf8(content)).captured(1));
    const bool names = program == QLatin1String("tallyclock")
        || (program.startsWith(QLatin1Char('/')) && program.endsWith(QLatin1String("/tallyclock")));
    return names && content == Entry(ExecValue(program));
}

// Whether an entry is there; raises an AppError when there is one the program may not touch.
bool OursOrNone(const QString& path)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        const int error = errno;
        if (error == ENOENT)
            return false;
        Fail(QStringLiteral("cannot read %1: %2.").arg(path, Reason(error)), KindOfErrno(error));
    }
    if (S_ISLNK(st.st_mode))
        Fail(QStringLiteral("%1 is a symbolic link, and Tallyclock changes only an entry of its own there. "
                            "Nothing was changed.")
                 .arg(path),
             ErrorKind::Refused);
    QFile file(path);
    if (!S_ISREG(st.st_mode) || !file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("cannot read %1: %2.").arg(path, S_ISREG(st.st_mode) ? file.errorString() : Reason(EISDIR)),
             ErrorKind::CannotOpen);
    if (!IsOurs(file.read(64 * 1024)))
        Fail(QStringLiteral("%1 is not the entry Tallyclock writes: it was changed or made by hand. Look at it, "
                            "and remove it to let Tallyclock write its own. Nothing was changed.")
                 .arg(path),
             ErrorKind::Refused);
    return true;
}

// Replaces the file with the content whole, or leaves it as it was: the content goes into a new
// file beside it, on the disk before it is renamed over the old one, which replaces a symbolic
// link rather than write through it.
void WriteWhole(const QString& path, const QByteArray& content)
{
    const QFileInfo info(path);
    QByteArray temp = QFile::encodeName(info.path() + QStringLiteral("/.") + info.fileName()
                                        + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(temp.data());
    int error = fd < 0 ? errno : 0;
    for (qsizetype done = 0; !error && done < content.size();) {
        const ssize_t n = ::write(fd, content.constData() + done, content.size() - done);
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            error = n == 0 ? ENOSPC : errno;
    }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (fd >= 0 && ::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error) {
        if (fd >= 0)
            ::unlink(temp.constData());
        Fail(QStringLiteral("cannot write %1: %2. Nothing was changed.").arg(path, Reason(error)), KindOfErrno(error));
    }
}

} // namespace

int WriteAutostart(QTextStream& out, QTextStream& err)
{
    const QString path = AutostartFile();
    try {
        OursOrNone(path);
        const QByteArray entry = Entry(ExecValue(Program()));
        MakeFolder(QFileInfo(path).path());
        WriteWhole(path, entry);
    } catch (const AppError& e) {
        err << "tallyclock: " << e.what() << '\n';
        return 1;
    }
    out << "Tallyclock will start when you log in: wrote " << path << '\n';
    return 0;
}

int RemoveAutostart(QTextStream& out, QTextStream& err)
{
    const QString path = AutostartFile();
    try {
        if (!OursOrNone(path)) {
            out << "Tallyclock was not set to start when you log in: there is no " << path << '\n';
            return 0;
        }
        if (::unlink(QFile::encodeName(path).constData()) != 0) {
            const int error = errno;
            Fail(QStringLiteral("cannot remove %1: %2.").arg(path, Reason(error)), KindOfErrno(error));
        }
    } catch (const AppError& e) {
        err << "tallyclock: " << e.what() << '\n';
        return 1;
    }
    out << "Tallyclock will no longer start when you log in: removed " << path << '\n';
    return 0;
}
