#pragma once

#include "platform/Clock.h"

// A clock that moves only when told, in place for as long as it lives. Advance moves all three
// clocks; Sleep moves the wall and boot clocks only, as a machine asleep does.
class ManualClock : public Clock
{
public:
    explicit ManualClock(const QDateTime& now) : now_(now) { SetClock(this); }
    ~ManualClock() override { SetClock(nullptr); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    QDateTime LocalNow() const override { return now_; }
    qint64 MonotonicMs() const override { return monotonicMs_; }
    qint64 BootMs() const override { return bootMs_; }

    void Advance(qint64 ms)
    {
        Sleep(ms);
        monotonicMs_ += ms;
    }
    void Sleep(qint64 ms)
    {
        now_ = now_.addMSecs(ms);
        bootMs_ += ms;
    }

private:
    QDateTime now_;
    qint64 monotonicMs_ = 1000000;
    qint64 bootMs_ = 1000000;
};
