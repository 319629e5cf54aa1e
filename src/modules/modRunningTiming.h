#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QTimer>

// The running timing kept on disk beside the database (TimingFile.h), so that a crash, a kill
// or the end of the session does not lose it: written when it starts or changes, its last
// moment refreshed once a minute and when logind announces sleep or shutdown (held off by a
// delay lock until the file is written). Its tick, every 30 seconds, is the one wake-up of a
// running timing, shared by whatever else watches it; while idle nothing wakes.
class RunningTiming : public QObject
{
    Q_OBJECT

public:
    explicit RunningTiming(QObject* parent);

    // A timing runs (gActiveProjectID since gStartTime), just begun or changed: it is written
    // down, last seen now, and the minute's tick runs. A failure is shown once until a write
    // succeeds again; the timing goes on all the same.
    void WriteDown();
    // The timing has been stored or discarded: its record goes and the tick stops. A failure
    // is shown.
    void Forget();
    bool IsRunning() const { return running_; }

signals:
    // Every 30 seconds while a timing runs.
    void Tick();
    // Once a minute while a timing runs, after its last moment has been written down.
    void MinutePassed();
    // logind announces sleep (true) and the waking after it (false).
    void SleepAnnounced(bool sleeping);

private slots:
    void PrepareForSleep(bool sleeping);
    void PrepareForShutdown(bool shuttingDown);

private:
    void HoldOffSleep();
    void Prepare(bool going);

    QTimer tick_;
    bool minuteOdd_ = false;
    QDBusUnixFileDescriptor delayLock_;
    bool running_ = false;
    bool failureShown_ = false;
};
