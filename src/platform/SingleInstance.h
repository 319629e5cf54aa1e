#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <memory>

// One running copy per database. The first start for a database holds a lock and listens;
// a later start for the same file asks that copy to show itself and goes. The lock and the
// socket are named after the database's canonical path, in the user's runtime folder, so
// copies over different databases run side by side. A lock left by a copy that crashed is
// taken over, whatever it holds. The running copy answers each later start.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // True when this process is now the running copy for the database. False when another copy
    // runs and has been asked to show itself. Raises an AppError when that copy does not answer
    // within about five seconds (it is stopped, or hangs).
    bool Claim(const QString& databasePath);

signals:
    // A later start asked this copy to show itself.
    void ShowRequested();

private:
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};
