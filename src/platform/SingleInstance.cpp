#include "platform/SingleInstance.h"

#include "platform/AppError.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cerrno>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How long a copy that holds the lock but does not listen yet, as it is just starting, is waited
// for, and then its greeting.
constexpr int kAnswerWaitMs = 5000;
// How long a greeted caller waits for the answer: a command may wait on a database that another
// program has locked.
constexpr int kCommandWaitMs = 30000;
// No request of ours comes near this.
constexpr qsizetype kMostRequestBytes = 64 * 1024;

// Takes the lock at once, or not at all. A lock that names no live process is stale, and so is
// one that names none at all (left empty or damaged by a crash while it was written), unless a
// live copy still holds it open.
bool TakeLock(QLockFile& lock)
{
    if (lock.tryLock(0))
        return true;
    qint64 pid = 0;
    QString host, program;
    if (lock.error() != QLockFile::LockFailedError || lock.getLockInfo(&pid, &host, &program))
        return false;
    return lock.removeStaleLockFile() && lock.tryLock(0);
}

// Whether a live process holds the channel's lock, looked at without taking it.
bool LockHeld(const QString& channel)
{
    const QLockFile lock(channel + QStringLiteral(".lock"));
    qint64 pid = 0;
    QString host, program;
    return lock.getLockInfo(&pid, &host, &program) && pid > 0
        && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

QByteArray Line(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QJsonObject Refusal(const QString& why)
{
    return {{QStringLiteral("ok"), false}, {QStringLiteral("message"), why}};
}

// The runtime folder is the user's own already; the socket's owner is checked as well, so that
// a folder opened to others by mistake lets no one else in.
bool FromThisUser(const QLocalSocket& caller)
{
    ucred peer = {};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(caller.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
        && peer.uid == ::geteuid();
}

// Writes the answer and closes the line once it has gone.
void Close(QLocalSocket* caller, const QJsonObject& answer)
{
    caller->write(Line(answer));
    caller->disconnectFromServer();
}

// The next line from the socket, without its line break, within the deadline.
bool ReadLine(QLocalSocket& socket, const QDeadlineTimer& deadline, QByteArray& line)
{
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
            return false;
    line = socket.readLine().chopped(1);
    return true;
}

[[noreturn]] void NoAnswer(const QString& databasePath)
{
    throw AppError(
        QStringLiteral("Tallyclock already runs over \"%1\" but does not answer.").arg(databasePath).toStdString());
}

} // namespace

QString SingleInstance::ChannelFor(const QString& databasePath)
{
    const QString canonical = QFileInfo(databasePath).canonicalFilePath();
    const QByteArray key = QCryptographicHash::hash((canonical.isEmpty() ? databasePath : canonical).toUtf8(),
                                                    QCryptographicHash::Sha256)
                               .toHex()
                               .left(24);
    // Empty when the folder is missing or open to others.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/tallyclock-") + QString::fromLatin1(key);
}

QByteArray SingleInstance::RequestLine(QJsonObject request)
{
    request.insert(QStringLiteral("tallyclock"), kVersion);
    return Line(request);
}

bool SingleInstance::Claim(const QString& databasePath)
{
    const QString name = ChannelFor(databasePath);
    lock_ = std::make_unique<QLockFile>(name + QStringLiteral(".lock"));
    // Only a dead owner makes a lock stale, however long the running copy has held it.
    lock_->setStaleLockTime(0);
    if (!name.isEmpty() && TakeLock(*lock_)) {
        // The socket of a copy that crashed is in the way.
        QLocalServer::removeServer(name);
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        connect(&server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* caller = server_.nextPendingConnection())
                Greet(caller);
        });
        if (!server_.listen(name))
            qWarning("Tallyclock: later starts cannot reach this copy: %s", qUtf8Printable(server_.errorString()));
        return true;
    }
    if (name.isEmpty() || lock_->error() != QLockFile::LockFailedError) {
        // Running twice is better than not running at all.
        qWarning("Tallyclock: cannot lock %s; another copy may run over the same database.",
                 qUtf8Printable(lock_->fileName()));
        return true;
    }
    QJsonObject answer;
    if (Ask(databasePath, {{QStringLiteral("command"), QStringLiteral("show")}}, answer) == Reply::NotRunning)
        NoAnswer(databasePath); // it went meanwhile
    return false;
}

void SingleInstance::Greet(QLocalSocket* caller)
{
    connect(caller, &QLocalSocket::disconnected, caller, &QObject::deleteLater);
    caller->write(Line({{QStringLiteral("tallyclock"), kVersion}}));
    if (!FromThisUser(*caller))
        return Close(caller, Refusal(QStringLiteral("Tallyclock takes requests only from the user it runs for.")));
    waiting_.insert(caller, {});
    connect(caller, &QLocalSocket::readyRead, this, [this, caller] { Read(caller); });
    connect(caller, &QLocalSocket::disconnected, this, [this, caller] {
        followers_.removeAll(caller);
        // Gone without a word: a start of an older version, which asks the copy to show itself.
        if (waiting_.contains(caller) && waiting_.take(caller).isEmpty())
            emit ShowRequested();
    });
}

void SingleInstance::Read(QLocalSocket* caller)
{
    if (!waiting_.contains(caller))
        return static_cast<void>(caller->readAll()); // a follower has nothing more to say
    QByteArray& bytes = waiting_[caller];
    bytes += caller->readAll();
    const qsizetype end = bytes.indexOf('\n');
    if (end < 0 && bytes.size() <= kMostRequestBytes)
        return;
    // Too long for a request, it is none.
    const QJsonObject request = end < 0 ? QJsonObject() : QJsonDocument::fromJson(bytes.left(end)).object();
    waiting_.remove(caller);
    // The handler may run an event loop, in which the caller may go.
    const QPointer<QLocalSocket> alive(caller);
    const QJsonObject answer = Answer(request);
    if (!alive)
        return;
    if (!answer.value(QStringLiteral("ok")).toBool() || !request.value(QStringLiteral("follow")).toBool())
        return Close(caller, answer);
    caller->write(Line(answer));
    followers_.append(caller);
}

QJsonObject SingleInstance::Answer(const QJsonObject& request)
{
    const QJsonValue version = request.value(QStringLiteral("tallyclock"));
    if (!version.isDouble())
        return Refusal(QStringLiteral("Tallyclock cannot read this request."));
    if (version.toDouble() != kVersion)
        return Refusal(QStringLiteral("This Tallyclock takes requests of version %1, not %2: use the same version "
                                      "of the program for both.")
                           .arg(QString::number(kVersion), QString::number(version.toDouble())));
    if (request.value(QStringLiteral("command")) == QLatin1String("show")) {
        emit ShowRequested();
        return {{QStringLiteral("ok"), true},
                {QStringLiteral("message"), QStringLiteral("Tallyclock shows its window.")}};
    }
    if (!handler_)
        return Refusal(QStringLiteral("Tallyclock is still starting."));
    return handler_(request);
}

void SingleInstance::Publish(const QJsonObject& answer)
{
    const QByteArray line = Line(answer);
    for (QLocalSocket* follower : std::as_const(followers_))
        follower->write(line);
}

SingleInstance::Reply SingleInstance::Ask(const QString& databasePath, const QJsonObject& request, QJsonObject& answer)
{
    const QString name = ChannelFor(databasePath);
    const QDeadlineTimer deadline(kAnswerWaitMs);
    QLocalSocket socket;
    // The system accepts the call even for a copy that is stopped: only its greeting counts.
    for (;;) {
        socket.connectToServer(name);
        if (socket.waitForConnected(static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 1, 500))))
            break;
        if (name.isEmpty() || !LockHeld(name))
            return Reply::NotRunning;
        if (deadline.hasExpired())
            NoAnswer(databasePath);
        QThread::msleep(100);
    }
    socket.write(RequestLine(request));
    QByteArray greeting, line;
    if (!ReadLine(socket, deadline, greeting))
        NoAnswer(databasePath);
    // An older copy writes an empty line as it shows itself.
    if (greeting.isEmpty())
        return Reply::Older;
    if (!ReadLine(socket, QDeadlineTimer(kCommandWaitMs), line))
        NoAnswer(databasePath);
    answer = QJsonDocument::fromJson(line).object();
    return Reply::Answered;
}
