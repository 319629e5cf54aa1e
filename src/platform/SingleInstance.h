#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <functional>
#include <memory>

class QLocalSocket;

// One running copy per database. The first start for a database holds a lock and listens;
// a later start for the same file asks that copy to show itself and goes. The lock and the
// socket are named after the database's canonical path, in the user's runtime folder, so
// copies over different databases run side by side. A lock left by a copy that crashed is
// taken over, whatever it holds.
//
// The socket also carries commands from the command line, a line of JSON each way. The running
// copy greets every caller at once with {"tallyclock":1}, the version of these lines it speaks,
// which tells the caller that it is alive. A request is {"tallyclock":1,"command":...}, its
// answer {"ok":true,...} or {"ok":false,"message":why}; after the answer the line closes,
// unless the request asked to "follow": then each Publish sends a further answer. A request that
// cannot be read, one of another version and any caller of another user are refused with an
// answer. The command "show" is this class's own; so is a caller that goes without a word, as a
// start of an older version does: both ask the copy to show itself.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr int kVersion = 1;
    // Answers a request of this version; runs in the event loop.
    using Handler = std::function<QJsonObject(const QJsonObject& request)>;

    // The socket's name for a database; empty without a runtime folder of the user's own.
    static QString ChannelFor(const QString& databasePath);

    // True when this process is now the running copy for the database. False when another copy
    // runs and has been asked to show itself. Raises an AppError when that copy does not answer
    // within about five seconds (it is stopped, or hangs).
    bool Claim(const QString& databasePath);

    // Until a handler is set, every request but "show" is refused.
    void SetHandler(Handler handler) { handler_ = std::move(handler); }
    // Sends the answer to every caller that follows.
    void Publish(const QJsonObject& answer);
    bool HasFollowers() const { return !followers_.isEmpty(); }

    // The caller's side: asks the copy that listens on the channel. NotRunning: none runs (none
    // holds the lock). Older: a copy of an older version, which takes no commands but shows its
    // window. Raises an AppError when the copy does not answer (as Claim).
    enum class Reply { NotRunning, Older, Answered };
    static Reply Ask(const QString& databasePath, const QJsonObject& request, QJsonObject& answer);
    // The line that carries a request, with the version.
    static QByteArray RequestLine(QJsonObject request);

signals:
    // A later start, or the command "show", asked this copy to show itself.
    void ShowRequested();

private:
    void Greet(QLocalSocket* caller);
    void Read(QLocalSocket* caller);
    QJsonObject Answer(const QJsonObject& request);

    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
    Handler handler_;
    QHash<QLocalSocket*, QByteArray> waiting_; // callers whose request is not complete yet
    QList<QLocalSocket*> followers_;
};
