#include "platform/Clock.h"

#include <ctime>

namespace {

qint64 ClockMs(clockid_t id)
{
    timespec now{};
    clock_gettime(id, &now);
    return qint64{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

class SystemClock : public Clock
{
public:
    QDateTime LocalNow() const override { return QDateTime::currentDateTime(); }
    qint64 MonotonicMs() const override { return ClockMs(CLOCK_MONOTONIC); }
    qint64 BootMs() const override { return ClockMs(CLOCK_BOOTTIME); }
};

const SystemClock kSystemClock;
const Clock* gClock = &kSystemClock;

} // namespace

const Clock& CurrentClock()
{
    return *gClock;
}

void SetClock(const Clock* clock)
{
    gClock = clock ? clock : &kSystemClock;
}
