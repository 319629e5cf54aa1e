#pragma once

// Timing shared by the benchmarks; plain C++ so that the INI benchmark stays free of Qt.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The time one call of f takes, in ms.
inline double ElapsedMs(const std::function<void()>& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Runs prepare (untimed, when given), then work (timed), reps times; the median time of work.
inline double Measure(int reps, const std::function<void()>& prepare, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        if (prepare)
            prepare();
        times.push_back(ElapsedMs(work));
    }
    return Median(times);
}

// One untimed run first, to warm the file cache, then the median of runs timed ones.
inline double TimeMs(int runs, const std::function<void()>& f)
{
    f();
    return Measure(runs, {}, f);
}

// One result beside its baseline: name, time, their ratio and what it is aimed at.
inline void RatioLine(int width, const char* what, double ms, double baseMs, const char* target)
{
    std::printf("%-*s %9.1f ms   ratio %5.2f   %s\n", width, what, ms, ms / baseMs, target);
}

} // namespace bench
