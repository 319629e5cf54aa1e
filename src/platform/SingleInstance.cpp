#include "platform/SingleInstance.h"

#include "platform/AppError.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {

// How long a copy that holds the lock but does not listen yet, as it is just starting, is waited for.
constexpr int kAnswerWaitMs = 5000;

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
    if (!folder.isEmpty() && lock_->tryLock(0)) {
        // The socket of a copy that crashed is in the way.
        QLocalServer::removeServer(name);
        connect(&server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* caller = server_.nextPendingConnection()) {
                connect(caller, &QLocalSocket::disconnected, caller, &QObject::deleteLater);
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
        if (socket.waitForConnected(500)) {
            socket.disconnectFromServer();
            return false;
        }
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    throw AppError(
        QStringLiteral("Tallyclock already runs over \"%1\" but does not answer.").arg(databasePath).toStdString());
}
