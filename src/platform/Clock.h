#pragma once

#include <QDateTime>
#include <QtGlobal>

// The program's one source of time. The wall clock gives the local date and time of moments;
// the monotonic clock measures spans while the program runs, and stands still while the
// machine sleeps; the boot clock goes on while it sleeps, so the two drift apart by the time
// spent asleep. Tests put a clock of their own in place to move time without waiting.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime LocalNow() const = 0;
    virtual qint64 MonotonicMs() const = 0;
    virtual qint64 BootMs() const = 0;
};

// The clock in use: the system's, unless a test has put another in place.
const Clock& CurrentClock();

// Puts a clock in place (it must outlive its use); nullptr restores the system's.
void SetClock(const Clock* clock);
