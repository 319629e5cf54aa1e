#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>
#include <stdexcept>
#include <vector>

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

enum class Grouping { Day, Week, Month, Project };
enum class Format { Table, Csv, Json };

struct ReportOptions
{
    // The first day and the day after the last, as whole day counts; none: the stored periods'.
    std::optional<double> from;
    std::optional<double> to;
    Grouping by = Grouping::Day;
    QStringList projects; // as the user typed them; empty: every project
    Format format = Format::Table;
};

// One project's time: an entry per column of the report, in days (0 where none).
struct ReportRow
{
    qint32 projectID = 0;
    QString name; // "(no project)" for periods of a project that does not exist
    bool known = true;
    std::vector<double> days;
    std::vector<bool> used; // a period lies in that column
    double total = 0;
};

struct ReportData
{
    double from = 0, to = 0;
    Grouping by = Grouping::Day;
    std::vector<double> starts; // first day of each column; the column ends where the next starts, the last at `to`
    std::vector<ReportRow> rows; // in the project list's order, periods of no project last by ID
};

// The database the report reads: the one named, else a Tallyclock.mdb beside the executable,
// else the one in the user's data folder.
QString ReportDatabasePath(const QString& named);

// Opens the file read-only, waiting for another program's write lock like the program does.
void OpenReportDatabase(Connection& cn, const QString& path);

// The day counts of a --from/--to text: ISO 8601 or the regional date text.
std::optional<double> ReadReportDay(const QString& text);

// The first day and the day after the last of today, this week (Monday to Sunday) and this month.
void TodaySpan(double& from, double& to);
void WeekSpan(double& from, double& to);
void MonthSpan(double& from, double& to);

ReportData BuildReport(Connection& cn, const ReportOptions& options);
void WriteReport(const ReportData& data, Format format, QIODevice& out);

// Every period of the span and projects, whole and unsplit, by project ID and start.
void WritePeriods(Connection& cn, const ReportOptions& options, QIODevice& out);
