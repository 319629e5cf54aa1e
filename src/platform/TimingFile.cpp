#include "platform/TimingFile.h"

#include "platform/AppError.h"
#include "platform/Regional.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kFileName = QStringLiteral("Tallyclock.timing");
// A file that large was never written by the program.
constexpr qint64 kMostBytes = 4096;

// The message names the file; the reason is the system's.
[[noreturn]] void Fail(const QString& what, const QString& path, int error)
{
    throw AppError(what.arg(path, QString::fromLocal8Bit(std::strerror(error))).toStdString());
}

const QString kNotWritten = QStringLiteral("The running timing cannot be written down in \"%1\": %2.");
const QString kNotRemoved = QStringLiteral("The record of the ended timing \"%1\" cannot be removed: %2.");

// A rename or a removal lasts only once the folder itself is on the disk.
bool SyncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

bool WriteAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            return false;
        done += n > 0 ? n : 0;
    }
    return true;
}

// A moment as written: "2026-12-07T09:00:00", local time.
std::optional<double> MomentFromText(const QString& text)
{
    if (text.size() != 19 || text.at(10) != QLatin1Char('T'))
        return std::nullopt;
    const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
    const QTime time = QTime::fromString(text.mid(11), Qt::ISODate);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return MomentFromDateTime(date, time);
}

// The timing in the text, or why the text holds none.
std::optional<WrittenTiming> Parse(const QByteArray& bytes, QString& why)
{
    if (bytes.size() > kMostBytes) {
        why = QStringLiteral("it is far too long");
        return std::nullopt;
    }
    // Every line ends in a line break: a file cut short shows.
    if (!bytes.endsWith('\n')) {
        why = QStringLiteral("it ends in the middle of a line");
        return std::nullopt;
    }
    why = QStringLiteral("it does not hold a project, a start and a last moment");
    std::optional<qint32> project;
    std::optional<double> start, lastSeen;
    for (const QString& line : QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('#')))
            continue;
        const QString name = line.section(QLatin1Char('='), 0, 0), value = line.section(QLatin1Char('='), 1);
        bool number = false;
        const qint32 id = value.toInt(&number);
        if (name == QLatin1String("ProjectID") && number)
            project = id;
        else if (name == QLatin1String("Start") && MomentFromText(value))
            start = MomentFromText(value);
        else if (name == QLatin1String("LastSeen") && MomentFromText(value))
            lastSeen = MomentFromText(value);
        else
            return std::nullopt;
    }
    if (!project || !start || !lastSeen)
        return std::nullopt;
    return WrittenTiming{*project, *start, *lastSeen};
}

// Renamed to the first free name of Tallyclock.timing.damaged, ….damaged-2 and so on; empty when
// it cannot be.
QString SetAside(const QString& path)
{
    for (int n = 1; n <= 100; ++n) {
        const QString aside = path + QStringLiteral(".damaged") + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        // Qt renames only to a free name: an earlier file set aside is never replaced.
        if (QFile::rename(path, aside))
            return aside;
        if (!QFile::exists(aside))
            break;
    }
    return QString();
}

// The file's timing; none, and why empty, when there is no file.
std::optional<WrittenTiming> Read(const QString& path, QString& why)
{
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    if (file.open(QIODevice::ReadOnly))
        return Parse(file.read(kMostBytes + 1), why);
    why = file.errorString();
    return std::nullopt;
}

} // namespace

QString TimingFileIn(const QString& folder)
{
    return folder + QLatin1Char('/') + kFileName;
}

void WriteTimingFile(const QString& folder, const WrittenTiming& timing)
{
    const QString path = TimingFileIn(folder);
    const QByteArray text = "# A timing of Tallyclock's that has not been ended; removed once it is.\nProjectID="
        + QByteArray::number(timing.projectID) + "\nStart=" + IsoDateTimeText(timing.start).toLatin1()
        + "\nLastSeen=" + IsoDateTimeText(timing.lastSeen).toLatin1() + '\n';
    // One copy runs per database, so the new file's name is free for this one.
    const QByteArray fresh = QFile::encodeName(path + QStringLiteral(".new"));
    const int fd = ::open(fresh.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        Fail(kNotWritten, path, errno);
    bool done = WriteAll(fd, text) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && done) {
        done = false;
        error = errno;
    }
    if (done && ::rename(fresh.constData(), QFile::encodeName(path).constData()) != 0) {
        done = false;
        error = errno;
    }
    if (!done) {
        ::unlink(fresh.constData());
        Fail(kNotWritten, path, error);
    }
    if (!SyncFolder(folder))
        Fail(kNotWritten, path, errno);
}

void RemoveTimingFile(const QString& folder)
{
    const QString path = TimingFileIn(folder);
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        Fail(kNotRemoved, path, errno);
    if (!SyncFolder(folder))
        Fail(kNotRemoved, path, errno);
}

std::optional<WrittenTiming> ReadTimingFile(const QString& folder)
{
    const QString path = TimingFileIn(folder);
    QString why;
    const std::optional<WrittenTiming> timing = Read(path, why);
    if (timing || why.isEmpty())
        return timing;
    const QString aside = SetAside(path);
    QString message = QStringLiteral("The record of a running timing \"%1\" cannot be read (%2); ").arg(path, why);
    message += aside.isEmpty() ? QStringLiteral("it could not be set aside either.")
                               : QStringLiteral("it was set aside as \"%1\".").arg(aside);
    throw AppError(message.toStdString());
}

std::optional<WrittenTiming> PeekTimingFile(const QString& folder)
{
    QString why;
    return Read(TimingFileIn(folder), why);
}
