#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>
#include <stdexcept>

class Connection;
class QIODevice;

// Where the time went: the stored periods summed per project and per day, week or month,
// or listed one by one, as a table for people or as CSV or JSON for other programs.
// Moments are local wall-clock day counts, so a day runs from one whole count to the next
// and a daylight-saving day counts its wall-clock hours, as the main window's totals do.

// A mistake in what was asked for (a date, a project, an option): the caller's fault, not
// the database's.
class UsageError : public std::runtime_error
{
public:
    explicit UsageError(const QString& message) : std::runtime_error(message.toStdString()) { }
};

// The output could not be written (a full disk, a closed pipe).
class WriteError : public std::runtime_error
{
public:
    explicit WriteError(const QString& message) : std::runtime_error(message.toStdString()) { }
};

enum class Grouping { Day, Week, Month, Project };
enum class Format { Table, Csv, Json };

struct ReportOptions
{
    bool periods = false; // the periods themselves, the export, rather than their sums
    // The first day and the day after the last, as whole day counts; none: open.
    std::optional<double> from;
    std::optional<double> to;
    bool toNamed = false; // --to was given: days after today are shown too
    Grouping by = Grouping::Day;
    QStringList projects; // as the user typed them; empty: every project
    Format format = Format::Table;
    bool csvSafe = false;
    int width = 100; // the characters a table may take
};

struct ReportRequest
{
    ReportOptions options;
    QString database; // as named; empty: the default
    bool help = false;
    bool version = false;
};

// Reads the arguments that follow the program's name; the spans start from the clock's today.
// Throws UsageError.
ReportRequest ReadReportCommandLine(const QStringList& arguments);

// The text of --help.
QString ReportHelpText();

// The database the report reads: the one named, else a Tallyclock.mdb beside the executable,
// else the one in the user's data folder.
QString ReportDatabasePath(const QString& named);

// Opens the file for reading only, waiting for another program's write lock like the program does.
void OpenReportDatabase(Connection& cn, const QString& path);

// The day count of a --from/--to text: ISO 8601 or the regional date, from the year 100 to the
// day before the last of 9999.
std::optional<double> ReadReportDay(const QString& text);

// Writes the report, or the export, as the options say. Returns the warning for standard error
// about periods left out, or nothing. Throws UsageError, AppError or WriteError.
QString WriteReport(Connection& cn, const ReportOptions& options, QIODevice& out);

// The export: every period of the span and projects, whole, in time order.
QString WritePeriods(Connection& cn, const ReportOptions& options, QIODevice& out);
