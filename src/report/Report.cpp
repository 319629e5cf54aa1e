#include "report/Report.h"

#include "platform/DataFolder.h"
#include "platform/Database.h"
#include "platform/Regional.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

const QString kNoProject = QStringLiteral("(no project)");
const QDate kDayZero(1899, 12, 30);
constexpr int kBarWidth = 20;

struct Project
{
    qint32 id;
    QString name;
};

QDate DateOfDay(double day)
{
    return kDayZero.addDays(static_cast<qint64>(day));
}

double DayOfDate(const QDate& date)
{
    return static_cast<double>(kDayZero.daysTo(date));
}

double WeekStart(double day)
{
    return day - (DateOfDay(day).dayOfWeek() - 1);
}

double MonthStart(double day)
{
    const QDate d = DateOfDay(day);
    return DayOfDate(QDate(d.year(), d.month(), 1));
}

// A number as SQL text: every digit kept, so the bounds compare exactly.
QString Number(double value)
{
    return QString::number(value, 'g', 17);
}

std::vector<Project> LoadProjectNames(Connection& cn)
{
    std::vector<Project> out;
    RecordSet rs;
    for (rs.Open(QStringLiteral("SELECT ProjectID, Name FROM tblProject ORDER BY Name"), cn); !rs.IsEOF();
         rs.MoveNext())
        out.push_back({rs.Fields(0).ToInt32(), rs.Fields(1).ToText()});
    return out;
}

// The IDs of the projects named, each name matched as the list compares names.
std::vector<qint32> ChooseProjects(const std::vector<Project>& projects, const QStringList& names)
{
    std::vector<qint32> ids;
    for (const QString& name : names) {
        bool found = false;
        for (const Project& p : projects) {
            if (CompareNames(p.name, name) == 0) {
                ids.push_back(p.id);
                found = true;
            }
        }
        if (!found)
            throw UsageError(QStringLiteral("There is no project named \"%1\".").arg(name));
    }
    return ids;
}

// The WHERE clause: the periods that overlap the span, of the chosen projects.
QString Where(const ReportOptions& o, const std::vector<qint32>& ids)
{
    QStringList conditions;
    // Plain comparisons, either way round: SQLite's MIN and MAX functions would double the time.
    const QString low = o.from ? Number(*o.from) : QString(), high = o.to ? Number(*o.to) : QString();
    if (o.from && o.to)
        conditions << QStringLiteral("((StartTime<%2 AND EndTime>%1) OR (EndTime<%2 AND StartTime>%1))").arg(low, high);
    else if (o.from)
        conditions << QStringLiteral("(StartTime>%1 OR EndTime>%1)").arg(low);
    else if (o.to)
        conditions << QStringLiteral("(StartTime<%1 OR EndTime<%1)").arg(high);
    if (!ids.empty()) {
        QStringList list;
        for (qint32 id : ids)
            list << QString::number(id);
        conditions << QStringLiteral("ProjectID IN (%1)").arg(list.join(QLatin1Char(',')));
    }
    return conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
}

// Time per project and per day (per nothing when grouping by project), in days.
using Sums = std::map<qint32, std::map<double, double>>;

// A period that crosses a day's end or the span's edge: the part in each day of the span,
// negative when it ends before it starts.
void Split(Sums& sums, qint32 id, double start, double end, const ReportOptions& o, double& lowest, double& highest)
{
    const double sign = end < start ? -1.0 : 1.0;
    double lo = std::min(start, end), hi = std::max(start, end);
    if (o.from)
        lo = std::max(lo, *o.from);
    if (o.to)
        hi = std::min(hi, *o.to);
    if (lo >= hi)
        return;
    lowest = std::min(lowest, lo);
    highest = std::max(highest, hi);
    auto& days = sums[id];
    if (o.by == Grouping::Project) {
        days[0] += sign * (hi - lo);
        return;
    }
    for (double day = std::floor(lo); lo < hi; ++day) {
        const double next = std::min(day + 1, hi);
        days[day] += sign * (next - lo);
        lo = next;
    }
}

// The sums in one pass of SQLite: periods that lie within one day and the span are added up
// by the database; the others come one by one and are split here.
Sums ReadSums(Connection& cn, const ReportOptions& o, const std::vector<qint32>& ids, double& lowest, double& highest)
{
    QStringList inside;
    if (o.from)
        inside << QStringLiteral("StartTime>=%1 AND EndTime>=%1").arg(Number(*o.from));
    if (o.to)
        inside << QStringLiteral("StartTime<=%1 AND EndTime<=%1").arg(Number(*o.to));
    const bool daily = o.by != Grouping::Project;
    if (daily)
        inside << QStringLiteral("StartTime>=0 AND EndTime>=0 AND CAST(StartTime AS INTEGER)=CAST(EndTime AS INTEGER)");
    const QString insideSql = inside.isEmpty() ? QStringLiteral("1") : inside.join(QStringLiteral(" AND "));
    // Over every period by project this is the main window's total to the last bit: the same
    // sum in the same (index) order.
    const QString groups = inside.isEmpty()
        ? QStringLiteral("ProjectID")
        : QStringLiteral("ProjectID, Inside, CASE WHEN Inside THEN %1 ELSE TimePeriodID END")
              .arg(daily ? QStringLiteral("CAST(StartTime AS INTEGER)") : QStringLiteral("0"));
    const QString sql = QStringLiteral("SELECT ProjectID, %1 AS Inside, SUM(EndTime-StartTime), StartTime, EndTime "
                                       "FROM tblTimePeriod%2 GROUP BY %3")
                            .arg(insideSql, Where(o, ids), groups);
    Sums sums;
    RecordSet rs;
    for (rs.Open(sql, cn); !rs.IsEOF(); rs.MoveNext()) {
        const qint32 id = rs.Fields(0).ToInt32();
        if (rs.Fields(1).ToInt32() == 0) {
            Split(sums, id, rs.Fields(3).ToDouble(), rs.Fields(4).ToDouble(), o, lowest, highest);
            continue;
        }
        const double key = daily ? std::floor(rs.Fields(3).ToDouble()) : 0.0;
        sums[id][key] += rs.Fields(2).ToDouble();
        lowest = std::min(lowest, key);
        highest = std::max(highest, key + 1);
    }
    return sums;
}

std::vector<double> ColumnStarts(double from, double to, Grouping by)
{
    std::vector<double> starts;
    for (double day = from; day < to;) {
        starts.push_back(day);
        switch (by) {
        case Grouping::Day:
            day += 1;
            break;
        case Grouping::Week:
            day = WeekStart(day) + 7;
            break;
        case Grouping::Month:
            day = DayOfDate(DateOfDay(MonthStart(day)).addMonths(1));
            break;
        case Grouping::Project:
            day = to;
            break;
        }
    }
    return starts;
}

double ColumnEnd(const ReportData& data, size_t column)
{
    return column + 1 < data.starts.size() ? data.starts[column + 1] : data.to;
}

// Durations in the table: whole minutes as hours and minutes, the hours in the user's digits.
QString HoursText(double days)
{
    const qint64 minutes = std::llround(MinutesFromDays(days));
    const qint64 whole = std::abs(minutes);
    const QLocale loc;
    QString hours = loc.toString(whole / 60);
    if (whole / 60 < 10)
        hours.prepend(loc.zeroDigit());
    QString mins = loc.toString(whole % 60);
    if (whole % 60 < 10)
        mins.prepend(loc.zeroDigit());
    return (minutes < 0 ? loc.negativeSign() : QString()) + hours + QLatin1Char(':') + mins;
}

QString ColumnLabel(const ReportData& data, size_t column)
{
    const double start = data.starts[column];
    const QLocale loc;
    switch (data.by) {
    case Grouping::Day:
        return loc.dayName(DateOfDay(start).dayOfWeek(), QLocale::ShortFormat) + QLatin1Char(' ')
            + GeneralDateText(start);
    case Grouping::Week:
        return GeneralDateText(start);
    case Grouping::Month:
        return loc.standaloneMonthName(DateOfDay(start).month(), QLocale::ShortFormat) + QLatin1Char(' ')
            + loc.toString(DateOfDay(start).year()).remove(loc.groupSeparator());
    case Grouping::Project:
        break;
    }
    return QString();
}

QString CsvField(const QString& text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return special.contains(c); }))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

const QString kCsvHeader = QStringLiteral("project_id,project,start,end,minutes\r\n");

// An open end of a span has no moment: empty text.
QString SpanText(double moment)
{
    return std::isnan(moment) ? QString() : IsoDateTimeText(moment);
}

void AppendCsv(QString& out, qint32 id, const QString& quotedName, double start, double end, double days)
{
    out += QString::number(id);
    out += QLatin1Char(',');
    out += quotedName;
    out += QLatin1Char(',');
    out += SpanText(start);
    out += QLatin1Char(',');
    out += SpanText(end);
    out += QLatin1Char(',');
    out += MinutesText(MinutesFromDays(days), QLocale::c());
    out += QLatin1String("\r\n");
}

QJsonObject JsonEntry(qint32 id, const QString& name, double start, double end, double days)
{
    return {{QStringLiteral("project_id"), id},
            {QStringLiteral("project"), name},
            {QStringLiteral("start"), std::isnan(start) ? QJsonValue() : QJsonValue(IsoDateTimeText(start))},
            {QStringLiteral("end"), std::isnan(end) ? QJsonValue() : QJsonValue(IsoDateTimeText(end))},
            {QStringLiteral("minutes"), MinutesText(MinutesFromDays(days), QLocale::c()).toDouble()}};
}

void WriteJson(const QJsonArray& entries, QIODevice& out)
{
    out.write(QJsonDocument(entries).toJson(QJsonDocument::Indented));
}

// Text columns padded to their widest cell: the first to the left, the others to the right
// but for a bar in the last.
QString Layout(const std::vector<QStringList>& lines, bool bars)
{
    std::vector<qsizetype> widths;
    for (const QStringList& line : lines) {
        widths.resize(std::max(widths.size(), static_cast<size_t>(line.size())));
        for (qsizetype c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], line[c].size());
    }
    QString out;
    for (const QStringList& line : lines) {
        QString text;
        for (qsizetype c = 0; c < line.size(); ++c) {
            if (c > 0)
                text += QStringLiteral("  ");
            const bool left = c == 0 || (bars && c + 1 == static_cast<qsizetype>(widths.size()));
            text += left ? line[c].leftJustified(widths[c]) : line[c].rightJustified(widths[c]);
        }
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        out += text + QLatin1Char('\n');
    }
    return out;
}

QString Bar(double total, double largest)
{
    if (total <= 0 || largest <= 0)
        return QString();
    return QString(static_cast<qsizetype>(std::lround(kBarWidth * total / largest)), QLatin1Char('#'));
}

// In the table the periods of a missing project show which ID they were stored under.
QString RowLabel(qint32 id, const QString& name, bool known)
{
    return known ? name : QStringLiteral("%1 %2").arg(kNoProject).arg(id);
}

} // namespace

QString ReportDatabasePath(const QString& named)
{
    if (!named.isEmpty())
        return named;
    // The program's own choice, but never making a database: a report only reads.
    return DatabaseFileIn(DatabaseFolderFor(QCoreApplication::applicationDirPath()));
}

void OpenReportDatabase(Connection& cn, const QString& path)
{
    cn.Open(QStringLiteral("DRIVER=Microsoft Access Driver (*.mdb);DBQ=%1;").arg(path), Connection::Access::ReadOnly);
}

std::optional<double> ReadReportDay(const QString& text)
{
    const QDate iso = QDate::fromString(text.trimmed(), Qt::ISODate);
    if (iso.isValid())
        return DayOfDate(iso);
    const auto moment = ReadDateText(text);
    if (!moment)
        return std::nullopt;
    return std::floor(*moment);
}

void TodaySpan(double& from, double& to)
{
    from = std::floor(CurrentMoment());
    to = from + 1;
}

void WeekSpan(double& from, double& to)
{
    from = WeekStart(std::floor(CurrentMoment()));
    to = from + 7;
}

void MonthSpan(double& from, double& to)
{
    from = MonthStart(std::floor(CurrentMoment()));
    to = DayOfDate(DateOfDay(from).addMonths(1));
}

ReportData BuildReport(Connection& cn, const ReportOptions& o)
{
    const std::vector<Project> projects = LoadProjectNames(cn);
    const std::vector<qint32> ids = ChooseProjects(projects, o.projects);
    double lowest = HUGE_VAL, highest = -HUGE_VAL;
    const Sums sums = ReadSums(cn, o, ids, lowest, highest);

    ReportData data;
    data.by = o.by;
    const double today = std::floor(CurrentMoment());
    if (o.by == Grouping::Project) {
        // Finding the first and last moment would cost as much as the sums: an open end stays open.
        data.from = o.from ? *o.from : qQNaN();
        data.to = o.to ? *o.to : qQNaN();
        data.starts = {data.from};
    } else {
        data.from = o.from ? *o.from : sums.empty() ? (o.to ? *o.to : today) : std::floor(lowest);
        data.to = o.to ? *o.to : sums.empty() ? data.from : std::max(std::ceil(highest), data.from + 1);
        data.starts = ColumnStarts(data.from, data.to, o.by);
    }

    auto addRow = [&](qint32 id, const QString& name, bool known) {
        ReportRow row{id, name, known, std::vector<double>(data.starts.size()), std::vector<bool>(data.starts.size()),
                      0};
        const auto found = sums.find(id);
        if (found != sums.end()) {
            for (const auto& [day, days] : found->second) {
                const auto column = std::upper_bound(data.starts.begin(), data.starts.end(), day) - data.starts.begin()
                    - 1;
                const size_t c = o.by == Grouping::Project ? 0 : static_cast<size_t>(std::max<qsizetype>(column, 0));
                row.days[c] += days;
                row.used[c] = true;
                row.total += days;
            }
        }
        if (found != sums.end() || std::find(ids.begin(), ids.end(), id) != ids.end())
            data.rows.push_back(std::move(row));
    };
    QHash<qint32, bool> known;
    for (const Project& p : projects) {
        if (!known.contains(p.id))
            addRow(p.id, p.name, true);
        known.insert(p.id, true);
    }
    for (const auto& entry : sums) {
        if (!known.contains(entry.first))
            addRow(entry.first, kNoProject, false);
    }
    return data;
}

void WriteReport(const ReportData& data, Format format, QIODevice& out)
{
    if (format == Format::Csv) {
        QString text = kCsvHeader;
        for (const ReportRow& row : data.rows) {
            const QString name = CsvField(row.name);
            for (size_t c = 0; c < data.starts.size(); ++c) {
                if (row.used[c])
                    AppendCsv(text, row.projectID, name, data.starts[c], ColumnEnd(data, c), row.days[c]);
            }
        }
        out.write(text.toUtf8());
        return;
    }
    if (format == Format::Json) {
        QJsonArray entries;
        for (const ReportRow& row : data.rows) {
            for (size_t c = 0; c < data.starts.size(); ++c) {
                if (row.used[c])
                    entries.append(JsonEntry(row.projectID, row.name, data.starts[c], ColumnEnd(data, c), row.days[c]));
            }
        }
        WriteJson(entries, out);
        return;
    }

    const bool columns = data.by != Grouping::Project;
    double largest = 0;
    for (const ReportRow& row : data.rows)
        largest = std::max(largest, row.total);
    std::vector<QStringList> lines(1, QStringList{QStringLiteral("Project")});
    if (columns) {
        for (size_t c = 0; c < data.starts.size(); ++c)
            lines[0] << ColumnLabel(data, c);
    }
    lines[0] << QStringLiteral("Total");
    std::vector<double> sums(data.starts.size());
    double total = 0;
    for (const ReportRow& row : data.rows) {
        QStringList line{RowLabel(row.projectID, row.name, row.known)};
        for (size_t c = 0; columns && c < data.starts.size(); ++c) {
            line << (row.used[c] ? HoursText(row.days[c]) : QString());
            sums[c] += row.days[c];
        }
        line << HoursText(row.total) << Bar(row.total, largest);
        lines.push_back(line);
        total += row.total;
    }
    QStringList last{QStringLiteral("Total")};
    for (size_t c = 0; columns && c < data.starts.size(); ++c)
        last << HoursText(sums[c]);
    last << HoursText(total);
    lines.push_back(last);
    out.write(Layout(lines, true).toUtf8());
}

void WritePeriods(Connection& cn, const ReportOptions& o, QIODevice& out)
{
    const std::vector<Project> projects = LoadProjectNames(cn);
    const std::vector<qint32> ids = ChooseProjects(projects, o.projects);
    QHash<qint32, QString> names;
    for (const Project& p : projects)
        names.insert(p.id, p.name);
    const QString sql = QStringLiteral(
                            "SELECT ProjectID, StartTime, EndTime FROM tblTimePeriod%1 ORDER BY ProjectID, StartTime")
                            .arg(Where(o, ids));
    RecordSet rs;
    rs.Open(sql, cn);
    if (o.format == Format::Csv) {
        // Written in pieces: an export may hold millions of rows.
        QString text = kCsvHeader;
        qint32 lastID = 0;
        QString lastName;
        for (bool first = true; !rs.IsEOF(); rs.MoveNext(), first = false) {
            const qint32 id = rs.Fields(0).ToInt32();
            if (first || id != lastID) {
                lastID = id;
                lastName = CsvField(names.value(id, kNoProject));
            }
            const double start = rs.Fields(1).ToDouble(), end = rs.Fields(2).ToDouble();
            AppendCsv(text, id, lastName, start, end, end - start);
            if (text.size() > (1 << 16)) {
                out.write(text.toUtf8());
                text.clear();
            }
        }
        out.write(text.toUtf8());
        return;
    }
    QJsonArray entries;
    std::vector<QStringList> lines(1,
                                   QStringList{QStringLiteral("Project"), QStringLiteral("Start"),
                                               QStringLiteral("End"), QStringLiteral("Duration")});
    for (; !rs.IsEOF(); rs.MoveNext()) {
        const qint32 id = rs.Fields(0).ToInt32();
        const double start = rs.Fields(1).ToDouble(), end = rs.Fields(2).ToDouble();
        const QString name = names.value(id, kNoProject);
        if (o.format == Format::Json)
            entries.append(JsonEntry(id, name, start, end, end - start));
        else
            lines.push_back({RowLabel(id, name, names.contains(id)), GeneralDateText(start), GeneralDateText(end),
                             HoursText(end - start)});
    }
    if (o.format == Format::Json)
        WriteJson(entries, out);
    else
        out.write(Layout(lines, false).toUtf8());
}
