// tallyclock-report: where the time went, read from the program's database without changing it.

#include "platform/Database.h"
#include "report/Report.h"

#include <QCoreApplication>
#include <QFile>

#include <sys/ioctl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

// Exit statuses: 1 the database or the output failed, 2 the command line asked for something
// impossible.
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

int Fail(const QString& message, int status)
{
    std::fprintf(stderr, "tallyclock-report: %s\n", qPrintable(message));
    return status;
}

// The room a table may take: COLUMNS when set, else the terminal's width, else 100.
int TableWidth()
{
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    if (ok && columns > 0)
        return columns;
    winsize size{};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 100;
}

} // namespace

int main(int argc, char* argv[])
{
    // Before anything opens a file: with standard output closed, that file would take its place.
    if (fcntl(STDOUT_FILENO, F_GETFD) < 0)
        return Fail(QStringLiteral("Standard output is closed: there is nowhere to write the report."), kFailed);
    QCoreApplication app(argc, argv);

    ReportRequest request;
    try {
        request = ReadReportCommandLine(QCoreApplication::arguments().mid(1));
    } catch (const UsageError& e) {
        return Fail(QString::fromUtf8(e.what()), kBadUsage);
    }
    request.options.width = TableWidth();

    QFile out;
    out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    try {
        if (request.help || request.version) {
            const QString text = request.help ? ReportHelpText()
                                              : QStringLiteral("tallyclock-report %1\n").arg(TALLYCLOCK_VERSION);
            if (out.write(text.toUtf8()) < 0)
                throw WriteError(QStringLiteral("The text could not be written: %1.").arg(out.errorString()));
            return 0;
        }
        Connection cn;
        OpenReportDatabase(cn, ReportDatabasePath(request.database));
        const QString warning = WriteReport(cn, request.options, out);
        cn.Close();
        if (!warning.isEmpty())
            Fail(warning, 0);
    } catch (const UsageError& e) {
        return Fail(QString::fromUtf8(e.what()), kBadUsage);
    } catch (const std::runtime_error& e) {
        // The database's AppError or the output's WriteError.
        return Fail(QString::fromUtf8(e.what()), kFailed);
    }
    return 0;
}
