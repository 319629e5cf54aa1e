#pragma once

#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <memory>
#include <optional>

class IdleSource;

// Watches, while a timing runs, for stretches in which the user was away: the machine asleep
// (logind's PrepareForSleep, and always the boot clock running ahead of the monotonic clock),
// the screen locked (logind's session Lock/Unlock and LockedHint, the screen saver's
// ActiveChanged) and no input for the threshold (the first idle source that answers). An
// absence starts when the user was last active and ends once nothing keeps the user away any
// more: the first input, unlock or resume after it.
//
// It costs nothing while stopped. While watching, something must call Check every 30 seconds
// (the running timing's tick, so that a timing wakes the program once, not twice) to look at
// the clocks and at an idle source that sends no signals; for thresholds under a minute the
// watcher wakes itself every half threshold instead.
class AwayWatcher : public QObject
{
    Q_OBJECT

public:
    explicit AwayWatcher(QObject* parent = nullptr);
    ~AwayWatcher() override;

    // Watches from now on. thresholdMs 0 watches no input and reports every absence.
    void Start(qint64 thresholdMs);
    void Stop();

    bool IsAway() const { return since_.has_value(); }
    QString IdleSourceName() const;
    int CheckIntervalMs() const { return checkMs_; }
    static constexpr int kTickMs = 30000;

    // One look at the clocks and at an idle source without signals.
    void Check();

signals:
    // The user is back from an absence of at least the threshold: its first and last moment.
    void AbsenceEnded(double from, double to);

private slots:
    void PrepareForSleep(bool sleeping);
    void Lock();
    void Unlock();
    void SessionChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);
    void ScreenSaverActive(bool active);

private:
    void Connect(bool on);
    void CheckClocks();
    void Locked(bool locked);
    void Idle(qint64 idleMs);
    void Active(qint64 since);
    void Away(qint64 since);
    void Back(qint64 at);
    qint64 LastActive();
    static qint64 Now();
    static double MomentAt(qint64 bootMs);

    QTimer timer_;
    std::unique_ptr<IdleSource> source_;
    QString sessionPath_;
    bool watching_ = false;
    qint64 thresholdMs_ = 0;
    int checkMs_ = kTickMs;
    // Moments on the boot clock, which goes on while the machine sleeps.
    qint64 started_ = 0;
    qint64 lastCheck_ = 0;
    qint64 clockGap_ = 0; // boot clock minus monotonic clock
    std::optional<qint64> since_; // away since
    bool asleep_ = false;
    bool locked_ = false;
    bool idle_ = false;
};
