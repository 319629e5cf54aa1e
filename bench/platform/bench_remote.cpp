// The cost of the commands to the running copy: a command's round trip (start the client, ask,
// answer) against `tallyclock --version`'s own start, timed in turns; and the wake-ups of
// `--status --follow` while idle and while timing, against the running copy's own in the same
// spans. The running copy runs offscreen over a database of its own in a temporary folder.
// Usage: bench_remote [seconds]   (each span of wake-ups; 120 by default)
#include "platform/DataFolder.h"

#include "../BenchNewDatabase.h"
#include "../BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

constexpr int kRuns = 21;

// Runs the program to its end; its standard output.
QByteArray Run(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(TALLYCLOCK_EXE), args);
    p.waitForFinished();
    return p.readAllStandardOutput();
}

// The voluntary context switches of a process's main thread, where its event loop runs: each is
// a wait that ended. (Other threads come and go, as the backup's does.)
long WakeUps(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    file.open(QIODevice::ReadOnly);
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(24).trimmed().toLong();
    return 0;
}

// The wake-ups of the follower and of the running copy over the span.
void Span(const char* what, const QProcess& follower, const QProcess& running, int seconds)
{
    const long f = WakeUps(follower.processId()), r = WakeUps(running.processId());
    QThread::sleep(static_cast<unsigned long>(seconds));
    const long followed = WakeUps(follower.processId()) - f, ran = WakeUps(running.processId()) - r;
    std::printf("wake-ups in %d s %-12s --follow %4ld (%.2f a minute)   the running copy %4ld   ratio %.2f\n", seconds,
                what, followed, followed * 60.0 / seconds, ran, ran > 0 ? double(followed) / ran : 0.0);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 120;
    QTemporaryDir tmp;
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "HOME"}) {
        QDir(tmp.path()).mkdir(QString::fromLatin1(name));
        QFile::setPermissions(tmp.filePath(QString::fromLatin1(name)),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv(name, tmp.filePath(QString::fromLatin1(name)).toUtf8());
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    sqlite3* db = bench::OpenNewDatabase(UserDataFolder());
    bench::Check(
        sqlite3_exec(db, "INSERT INTO tblProject(Name,Description) VALUES('Alpha','')", nullptr, nullptr, nullptr), db,
        "insert");
    sqlite3_close(db);

    QProcess running;
    running.start(QStringLiteral(TALLYCLOCK_EXE), {});
    while (!Run({QStringLiteral("--status")}).startsWith("Idle"))
        QThread::msleep(100);
    Run({QStringLiteral("--activate"), QStringLiteral("Alpha")});

    std::vector<double> version, status, toggle;
    for (int i = 0; i < kRuns; ++i) {
        version.push_back(bench::ElapsedMs([] { Run({QStringLiteral("--version")}); }));
        status.push_back(bench::ElapsedMs([] { Run({QStringLiteral("--status")}); }));
        toggle.push_back(bench::ElapsedMs([] { Run({QStringLiteral("--toggle")}); }));
    }
    const double base = bench::Median(version);
    std::printf("median of %d runs each, in turns\n", kRuns);
    bench::RatioLine(24, "tallyclock --version", base, base, "(baseline)");
    bench::RatioLine(24, "tallyclock --status", bench::Median(status), base, "(target <= 1.5)");
    bench::RatioLine(24, "tallyclock --toggle", bench::Median(toggle), base, "(target <= 1.5)");

    QProcess follower;
    follower.setStandardOutputFile(QProcess::nullDevice());
    follower.start(QStringLiteral(TALLYCLOCK_EXE), {QStringLiteral("--status"), QStringLiteral("--follow")});
    follower.waitForStarted();
    if (Run({QStringLiteral("--status")}).startsWith("Timing"))
        Run({QStringLiteral("--stop")});
    QThread::sleep(1);
    Span("while idle", follower, running, seconds);
    Run({QStringLiteral("--start")});
    QThread::sleep(1);
    Span("while timing", follower, running, seconds);
    std::printf("targets: --follow wakes not at all while idle, at most once a minute while timing\n");
    follower.kill();
    running.kill();
    follower.waitForFinished();
    running.waitForFinished();
    return 0;
}
