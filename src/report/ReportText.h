#pragma once

// What the report's outputs share: text written out as it comes, the user's notation read once
// for the run, the escapes of each format, and the reading of periods over a span.

#include "report/Report.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <vector>

class Connection;
class QIODevice;
class RecordSet;

// Text gathered in pieces of about 64 KB and written to the device; a failed write is a WriteError.
class TextOut
{
public:
    explicit TextOut(QIODevice& device) : device_(device) { }
    TextOut& operator<<(QStringView text)
    {
        buffer_ += text;
        if (buffer_.size() >= kPiece)
            Flush();
        return *this;
    }
    TextOut& operator<<(QChar c) { return *this << QStringView(&c, 1); }
    TextOut& operator<<(QLatin1StringView text)
    {
        buffer_ += text;
        return *this;
    }
    // n blanks (none when n is not positive).
    TextOut& Blanks(qsizetype n)
    {
        buffer_.resize(buffer_.size() + std::max<qsizetype>(n, 0), QLatin1Char(' '));
        return *this;
    }
    void Flush();

private:
    static constexpr qsizetype kPiece = 1 << 16;
    QIODevice& device_;
    QString buffer_;
};

// The user's regional notation for the whole run, from one QLocale.
class Notation
{
public:
    Notation();
    // Whole minutes as hours and minutes, "01:30", "-00:15", in the locale's digits.
    QString Hours(double days) const;
    // The general date text of a moment.
    QString Date(double moment) const;
    // "Mon 11/30/2026".
    QString DayLabel(double day) const;
    // A column's label: the day, the ISO week ("W49 2026") or the month ("Dec 2026").
    QString Label(Grouping by, double start) const;

private:
    QString Number(qint64 value, int width) const;

    QLocale locale_;
    QString digits_[10];
    QString minus_;
    QString days_[7], months_[12];
};

// Control characters as visible escapes ("\n", "\t", "\x1b"), so that a name can neither break a
// table's lines nor send a terminal commands.
QString Visible(const QString& text);
// A CSV field (RFC 4180); with safe, text a spreadsheet would take for a formula gets a leading '.
QString CsvField(const QString& text, bool safe);
// A JSON string with its quotes.
QString JsonString(const QString& text);
// An ISO 8601 moment as CSV writes it (empty when open) and as JSON does (null).
QString CsvMoment(double moment);
QString JsonMoment(double moment);
// Minutes to one decimal with a dot, for other programs.
QString PlainMinutes(double days);

// The entries of CSV and JSON, one per project and column or per period: the CSV header or the
// array's start, each entry with its project's NameField, and the array's end.
QString NameField(Format format, const QString& name, bool csvSafe);
void BeginEntries(TextOut& out, Format format);
void WriteEntry(TextOut& out, Format format, bool first, qint32 id, const QString& nameField, double start, double end,
                double days);
void EndEntries(TextOut& out, Format format);

// In the table the periods of a missing project show which ID they were stored under.
QString RowLabel(qint32 id, const QString& name, bool known);
const QString& NoProject();

// Cells padded to their widths, with two blanks between and none at the end: to the left where
// left says so, else to the right but for the first.
QString TableLine(const QStringList& cells, const std::vector<qsizetype>& widths, const std::vector<char>& left = {});

// Day counts of dates and back.
QDate DateOfDay(double day);
double DayOfDate(const QDate& date);
// The Monday of a day's week, the first of its month and of the month after.
double WeekStart(double day);
double MonthStart(double day);
double NextMonthStart(double day);

struct Project
{
    qint32 id;
    QString name;
};

// The projects in the project list's order, and the IDs of those named (empty: all);
// a name that matches none is a UsageError.
std::vector<Project> LoadProjectNames(Connection& cn);
std::vector<qint32> ChooseProjects(const std::vector<Project>& projects, const QStringList& names);

// Whether the database has the span index.
bool HasSpanIndex(Connection& cn);
// " FROM tblTimePeriod INDEXED BY" the span index " WHERE" its first column, which a "=1" or
// "=0" after it makes the periods of zero to one day or the others.
QString FromSpanIndex();
// " AND ProjectID IN (…)" for the IDs, or nothing for every project.
QString ProjectCondition(const std::vector<qint32>& ids);
// A number as SQL text: every digit kept, so that bounds compare exactly.
QString SqlNumber(double value);

// The SELECT of the periods of the chosen projects that overlap the span, and of those with
// a moment missing: `columns` from tblTimePeriod, each part ended by `tail` (a GROUP BY).
// With the span index only the span is read; without it every period is.
QString SelectPeriods(Connection& cn, const ReportOptions& o, const std::vector<qint32>& ids, const QString& columns,
                      const QString& tail, bool ordered);

// Periods whose start or end is missing or no date between the years 100 and 9999: left out of
// sums and spans, and named in one warning.
class LeftOut
{
public:
    // The moments of the current row when both are dates of ours; else the period is noted.
    bool Sane(const RecordSet& rs, int startColumn, int idColumn, double& start, double& end);
    QString Warning() const;

private:
    std::vector<qint32> ids_;
    qint64 count_ = 0;
};

// The first and last moment a report reaches: a second before the year 10000.
double FirstSaneMoment();
double LastSaneMoment();
