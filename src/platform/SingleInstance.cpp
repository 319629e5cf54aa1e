#include "platform/SingleInstance.h"

#include "platform/AppError.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

namespace {

// How long a copy that holds the lock but does not listen yet, as it is just starting, is waited for.
constexpr int kAnswerWaitMs = 5000;

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

} // namespace

bool SingleInstance::Claim(const QString& databasePath)
{
    const QString canonical = QFileInfo(databasePath).canonicalFilePath();
    const QByteArray key = QCryptographicHash::hash((canonical.isEmpty() ? databasePath : canonical).toUtf8(),
                                                    QCryptographicHash::Sha256)
                               .toHex()
                               .left(24);
    // Empty when the folder is missing or open to others.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString name = folder + QStringLiteral("/tallyclock-") + QString::fromLatin1(key);

    lock_ = std::make_unique<QLockFile>(name + QStringLiteral(".lock"));
    // Only a dead owner makes a lock stale, however long the running copy has held it.
    lock_->setStaleLockTime(0);
    if (!folder.isEmpty() && TakeLock(*lock_)) {
        // The socket of a copy that crashed is in the way.
        QLocalServer::removeServer(name);
        connect(&server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* caller = server_.nextPendingConnection()) {
                connect(caller, &QLocalSocket::disconnected, caller, &QObject::deleteLater);
                // The answer tells the later start that this copy is alive.
                caller->write("\n");
                caller->flush();
                emit ShowRequested();
            }
        });
        if (!server_.listen(name))
            qWarning("Tallyclock: later starts cannot reach this copy: %s", qUtf8Printable(server_.errorString()));
        return true;
    }
    if (folder.isEmpty() || lock_->error() != QLockFile::LockFailedError) {
        // Running twice is better than not running at all.
        qWarning("Tallyclock: cannot lock %s; another copy may run over the same database.",
                 qUtf8Printable(lock_->fileName()));
        return true;
    }
    const QDeadlineTimer deadline(kAnswerWaitMs);
    do {
        QLocalSocket socket;
        socket.connectToServer(name);
        // The system accepts the call even for a copy that is stopped: only an answer counts.
        const int left = static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1));
        if (socket.waitForConnected(std::min(left, 500)) && socket.waitForReadyRead(left)) {
            socket.disconnectFromServer();
            return false;
        }
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    throw AppError(
        QStringLiteral("Tallyclock already runs over \"%1\" but does not answer.").arg(databasePath).toStdString());
}
