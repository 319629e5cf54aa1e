// The cost of watching for absence: the CPU time that an hour of timing with nobody at the
// machine takes, the hour simulated with the test clock, against the same hour without the
// watching. Every wake-up the watcher's timer would make in that hour is made; run it in the
// desktop session to be measured (or under Xvfb for the X server's idle time).
#include "ManualClock.h"
#include "platform/AwayWatcher.h"

#include <QCoreApplication>

#include <cstdio>
#include <ctime>

namespace {

// CPU seconds that the simulated hour takes, with or without the watcher's checks.
double HourCpuSeconds(AwayWatcher& watcher, ManualClock& clock, bool checks)
{
    const std::clock_t start = std::clock();
    for (qint64 ms = 0; ms < 3600 * 1000; ms += watcher.CheckIntervalMs()) {
        clock.Advance(watcher.CheckIntervalMs());
        if (checks)
            watcher.Check();
        QCoreApplication::processEvents();
    }
    return double(std::clock() - start) / CLOCKS_PER_SEC;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    ManualClock clock(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
    AwayWatcher watcher;
    watcher.Start(15 * 60000);
    const QString source = watcher.IdleSourceName();
    std::printf("idle source: %s; a wake-up every %d s\n", source.isEmpty() ? "none" : qPrintable(source),
                watcher.CheckIntervalMs() / 1000);
    const int hours = 100;
    double watching = 0, bare = 0;
    for (int i = 0; i < hours; ++i) {
        watching += HourCpuSeconds(watcher, clock, true);
        bare += HourCpuSeconds(watcher, clock, false);
    }
    std::printf("CPU per hour of timing while away: %.6f s (target < 0.1 s), the loop alone %.6f s, "
                "ratio %.1f (mean of %d hours)\n",
                watching / hours, bare / hours, bare > 0 ? watching / bare : 0.0, hours);
    return 0;
}
