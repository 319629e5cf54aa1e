// Speed and memory of clsINIParse on a large generated file, beside a plain read of the same
// file (the floor) and two common INI libraries, inih and SimpleIni. Not run in CI.
// Usage: bench_ini [repetitions]   (default 15; every figure is the median)
#include "classes/clsINIParse.h"

#include "../BenchSupport.h"

// Header-only use (Debian keeps the definitions behind SI_IMPLEMENTATION), bytes taken as they
// are, like clsINIParse takes them, which also spares the Unicode helpers.
#define SI_IMPLEMENTATION
#define SI_NO_CONVERSION
#include <SimpleIni.h>
#include <ini.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::size_t gLiveBytes = 0;
std::size_t gPeakBytes = 0;
double gFsyncMs = 0;

} // namespace

// Every heap block is counted, so the peak during LoadINI is the model's true cost. Not inlined:
// GCC would take the free() below for a mismatch with the caller's new.
[[gnu::noinline]] void* operator new(std::size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (p == nullptr)
        throw std::bad_alloc();
    gLiveBytes += malloc_usable_size(p);
    gPeakBytes = std::max(gPeakBytes, gLiveBytes);
    return p;
}
[[gnu::noinline]] void operator delete(void* p) noexcept
{
    if (p != nullptr)
        gLiveBytes -= malloc_usable_size(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}

// Times the flush to disk inside SaveINI: this definition is found before the C library's.
extern "C" int fsync(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    const auto start = Clock::now();
    const int result = real(fd);
    gFsyncMs += Since(start);
    return result;
}

namespace {

// 1,000 sections of 100 variables, an empty line before each header and a comment on every
// 20th line. Sections and variables come in shuffled order, so a save has real sorting to do.
std::size_t Generate(const std::string& path)
{
    std::mt19937 random(20240601);
    std::vector<int> sections(1000), keys(100);
    for (int i = 0; i < 1000; ++i)
        sections[i] = i;
    for (int i = 0; i < 100; ++i)
        keys[i] = i;
    std::shuffle(sections.begin(), sections.end(), random);
    std::string text;
    std::size_t lines = 0;
    const auto line = [&](const std::string& s) {
        if (++lines % 20 == 0) {
            text += "# comment on line " + std::to_string(lines) + "\r\n";
            ++lines;
        }
        text += s + "\r\n";
    };
    for (int s : sections) {
        line("");
        line("[section" + std::to_string(s) + "]");
        std::shuffle(keys.begin(), keys.end(), random);
        for (int k : keys)
            line("key" + std::to_string(k) + "=value " + std::to_string(s) + "." + std::to_string(k) + " of the test");
    }
    std::ofstream(path, std::ios::binary) << text;
    return lines;
}

void ReadWholeFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info
    { };
    ::fstat(fd, &info);
    std::unique_ptr<char[]> buffer(new char[static_cast<std::size_t>(info.st_size) + 1]);
    std::size_t used = 0;
    for (ssize_t got; (got = ::read(fd, buffer.get() + used, static_cast<std::size_t>(info.st_size) + 1 - used)) > 0;)
        used += static_cast<std::size_t>(got);
    ::close(fd);
}

int IgnoreEntry(void*, const char*, const char*, const char*)
{
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    char folderName[] = "/tmp/bench_ini_XXXXXX";
    if (::mkdtemp(folderName) == nullptr)
        return 1;
    const std::string folder = folderName, path = folder + "/big.ini", out = folder + "/out.ini";
    const std::size_t lines = Generate(path);
    const double fileBytes = static_cast<double>(std::filesystem::file_size(path));
    std::printf("file: %zu lines, %.2f MB; median of %d runs\n\n", lines, fileBytes / 1e6, reps);

    const double floorMs = bench::Measure(
        reps, [] {}, [&] { ReadWholeFile(path); });
    std::unique_ptr<clsINIParse> ini;
    std::size_t peak = 0, held = 0;
    const double loadMs = bench::Measure(
        reps, [&] { ini.reset(); },
        [&] {
            const std::size_t before = gLiveBytes;
            gPeakBytes = gLiveBytes;
            ini = std::make_unique<clsINIParse>();
            ini->INIFileName(path);
            ini->LoadINI();
            peak = gPeakBytes - before;
            held = gLiveBytes - before;
        });
    const double inihMs = bench::Measure(
        reps, [] {}, [&] { ini_parse(path.c_str(), IgnoreEntry, nullptr); });
    std::unique_ptr<CSimpleIniA> simple;
    const double simpleLoadMs = bench::Measure(
        reps, [&] { simple = std::make_unique<CSimpleIniA>(); }, [&] { simple->LoadFile(path.c_str()); });

    std::vector<double> fsyncs;
    const double saveMs = bench::Measure(
        reps,
        [&] {
            ini = std::make_unique<clsINIParse>();
            ini->INIFileName(path);
            ini->LoadINI();
            ini->INIFileName(out);
            if (gFsyncMs > 0)
                fsyncs.push_back(gFsyncMs);
            gFsyncMs = 0;
        },
        [&] { ini->SaveINI(); });
    fsyncs.push_back(gFsyncMs);
    const double fsyncMs = bench::Median(fsyncs);
    const double simpleSaveMs = bench::Measure(
        reps, [] {}, [&] { simple->SaveFile((folder + "/simple.ini").c_str()); });

    std::printf("plain read of the whole file (floor)  %8.2f ms\n", floorMs);
    std::printf("inih ini_parse, storing nothing       %8.2f ms\n", inihMs);
    std::printf("SimpleIni LoadFile                    %8.2f ms\n", simpleLoadMs);
    std::printf("LoadINI                               %8.2f ms  = %.2fx inih (target <= 1.5), %.2fx floor, %.2fx "
                "SimpleIni\n\n",
                loadMs, loadMs / inihMs, loadMs / floorMs, loadMs / simpleLoadMs);
    std::printf("SimpleIni SaveFile (no flush to disk) %8.2f ms\n", simpleSaveMs);
    std::printf("SaveINI, all of it                    %8.2f ms  = %.2fx SimpleIni SaveFile\n", saveMs,
                saveMs / simpleSaveMs);
    std::printf("  of which fsync (flush to disk)      %8.2f ms\n", fsyncMs);
    std::printf("SaveINI without the fsync             %8.2f ms  = %.2fx SimpleIni SaveFile (target <= 1.5)\n\n",
                saveMs - fsyncMs, (saveMs - fsyncMs) / simpleSaveMs);
    std::printf(
        "model memory: peak during LoadINI %.2f MB = %.2fx file size (target <= 4); held after %.2f MB = %.2fx\n",
        static_cast<double>(peak) / 1e6, static_cast<double>(peak) / fileBytes, static_cast<double>(held) / 1e6,
        static_cast<double>(held) / fileBytes);
    std::filesystem::remove_all(folder);
    return 0;
}
