#include "report/Report.h"

#include "platform/DataFolder.h"
#include "platform/Database.h"
#include "platform/Regional.h"
#include "report/ReportText.h"

#include <QCoreApplication>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <map>
#include <unordered_map>

namespace {

constexpr int kBarWidth = 20;
// Below the first day of the year 100: days are kept as offsets from it.
constexpr double kFirstDay = -700000;

// Time of one project within one day (within the span when by project), in days.
struct Piece
{
    double day;
    qint32 id;
    double days;
    size_t row = 0;
};

// The whole days of a long period, from first to end, counted with its sign: one run rather
// than a piece per day, so that a period of years costs no more than one of hours.
struct Run
{
    double first, end;
    qint32 id;
    double sign;
    size_t row = 0;
};

struct Row
{
    qint32 id;
    QString name;
    bool known;
    double total = 0;
    QString label = {}; // as the table shows it
};

// One column's time per row, and whether a period lies there.
struct Column
{
    double start = 0, end = 0;
    std::vector<double> days;
    std::vector<char> used;
};

QString Bar(double total, double largest)
{
    if (total <= 0 || largest <= 0)
        return QString();
    return QString(static_cast<qsizetype>(std::lround(kBarWidth * total / largest)), QLatin1Char('#'));
}

// Each line's cells padded to the widest of their column, the bars last when they fit too;
// empty when wider than the room.
QString Lay(const std::vector<QStringList>& lines, int room)
{
    std::vector<qsizetype> widths;
    for (const QStringList& line : lines) {
        widths.resize(std::max(widths.size(), static_cast<size_t>(line.size())));
        for (qsizetype c = 0; c < line.size(); ++c)
            widths[static_cast<size_t>(c)] = std::max(widths[static_cast<size_t>(c)], line[c].size());
    }
    qsizetype total = -2;
    for (qsizetype w : widths)
        total += w + 2;
    const bool hasBars = widths.size() > static_cast<size_t>(lines.front().size());
    const bool bars = hasBars && total <= room;
    if (hasBars && !bars)
        total -= 2 + widths.back();
    if (total > room)
        return QString();
    std::vector<char> left(widths.size());
    left.front() = 1;
    left.back() = hasBars;
    QString out;
    for (const QStringList& line : lines)
        out += TableLine(bars || !hasBars ? line : line.mid(0, static_cast<qsizetype>(widths.size()) - 1), widths,
                         left);
    return out;
}

class Summary
{
public:
    Summary(Connection& cn, const ReportOptions& o);
    void Write(TextOut& out, Format format) const;
    QString Warning() const { return leftOut_.Warning(); }

private:
    void Read(Connection& cn, const std::vector<qint32>& ids, const ReportOptions& span);
    bool ReadAllByProject(Connection& cn, const std::vector<qint32>& ids);
    void Split(qint32 id, double start, double end, const ReportOptions& span);
    void Add(qint32 id, double day, double days);
    void Finish(const std::vector<Project>& projects, const std::vector<qint32>& ids);

    double ColumnStart(double day) const;
    double NextStart(double start) const;
    void Sweep(bool skipEmpty, const std::function<void(const Column&)>& f) const;

    void WriteEntries(TextOut& out, Format format) const;
    QString Wide(int room) const;
    void Turned(TextOut& out) const;

    Grouping by_;
    bool csvSafe_;
    int width_;
    double from_ = 0, to_ = 0;
    double lowest_ = HUGE_VAL, highest_ = -HUGE_VAL;
    std::unordered_map<qint64, double> sums_; // while reading: by project and day
    std::vector<Piece> pieces_; // by day, once read
    std::vector<Run> runs_; // by first day, once read
    std::vector<Row> rows_; // the project list's order, then periods of no project by ID
    LeftOut leftOut_;
    Notation text_;
};

Summary::Summary(Connection& cn, const ReportOptions& o) : by_(o.by), csvSafe_(o.csvSafe), width_(o.width)
{
    const std::vector<Project> projects = LoadProjectNames(cn);
    const std::vector<qint32> ids = ChooseProjects(projects, o.projects);
    // Days after today are no columns, unless named: a span that ends later ends today.
    const double today = std::floor(CurrentMoment());
    ReportOptions span = o;
    if (o.by != Grouping::Project && !o.toNamed)
        span.to = std::min(o.to.value_or(HUGE_VAL), today + 1);
    if (o.by != Grouping::Project || o.from || o.to || !ReadAllByProject(cn, ids))
        Read(cn, ids, span);
    Finish(projects, ids);

    const bool any = !pieces_.empty() || !runs_.empty();
    if (o.by == Grouping::Project) {
        // Finding the first and last moment would cost as much as the sums: an open end stays open.
        from_ = o.from.value_or(qQNaN());
        to_ = o.to.value_or(qQNaN());
    } else {
        from_ = o.from ? *o.from : any ? std::floor(lowest_) : std::min(*span.to, today);
        to_ = o.to ? *span.to : any ? std::max(std::ceil(highest_), from_ + 1) : from_;
    }
}

// The periods one by one, each split into its days and added up here: for a span this is
// faster than SQLite's grouping, which sorts; those with moments that are no dates are left out.
void Summary::Read(Connection& cn, const std::vector<qint32>& ids, const ReportOptions& span)
{
    RecordSet rs;
    const QString columns = QStringLiteral("ProjectID, StartTime, EndTime, TimePeriodID");
    for (rs.Open(SelectPeriods(cn, span, ids, columns, QString(), false), cn); !rs.IsEOF(); rs.MoveNext()) {
        double start = 0, end = 0;
        if (leftOut_.Sane(rs, 1, 3, start, end))
            Split(rs.Fields(0).ToInt32(), start, end, span);
    }
}

void Summary::Add(qint32 id, double day, double days)
{
    sums_[static_cast<qint64>(id) << 32 | static_cast<quint32>(day - kFirstDay)] += days;
}

// Over all the time there is, by project, the sums are the main window's totals, read at the
// bare SQLite floor. The span index finds the few periods that are not of zero to one day
// within the years; those that are no dates are kept out by their IDs. Without the index
// that would take a second pass over every period: false, and the sums are read as others are.
bool Summary::ReadAllByProject(Connection& cn, const std::vector<qint32>& ids)
{
    if (!HasSpanIndex(cn))
        return false;
    const QString projects = ProjectCondition(ids);
    const QString part = QStringLiteral("SELECT StartTime, EndTime, TimePeriodID") + FromSpanIndex() + "%1%2";
    // The periods of one day that start before the years 100 or on the last day of 9999.
    const QString sql = part.arg(QStringLiteral("=0"), projects) + QStringLiteral(" UNION ALL ")
        + part.arg(QStringLiteral("=1 AND StartTime<") + SqlNumber(FirstSaneMoment()), projects)
        + QStringLiteral(" UNION ALL ")
        + part.arg(QStringLiteral("=1 AND StartTime>") + SqlNumber(LastSaneMoment() - 1), projects);
    QStringList bad;
    RecordSet rs;
    double start = 0, end = 0;
    for (rs.Open(sql, cn); !rs.IsEOF(); rs.MoveNext()) {
        if (!leftOut_.Sane(rs, 0, 2, start, end))
            bad << QString::number(rs.Fields(2).ToInt32());
    }
    QString where = projects;
    if (!bad.isEmpty())
        where += QStringLiteral(" AND TimePeriodID NOT IN (%1)").arg(bad.join(QLatin1Char(',')));
    const QString sums = QStringLiteral("SELECT ProjectID, SUM(EndTime-StartTime) FROM tblTimePeriod WHERE 1%1 "
                                        "GROUP BY ProjectID")
                             .arg(where);
    rs.Close();
    for (rs.Open(sums, cn); !rs.IsEOF(); rs.MoveNext())
        Add(rs.Fields(0).ToInt32(), 0, rs.Fields(1).ToDouble());
    return true;
}

// A period that crosses a day's end or the span's edge: its part in the span, by day,
// negative when it ends before it starts.
void Summary::Split(qint32 id, double start, double end, const ReportOptions& span)
{
    const double sign = end < start ? -1.0 : 1.0;
    const double lo = std::max(std::min(start, end), span.from.value_or(-HUGE_VAL));
    const double hi = std::min(std::max(start, end), span.to.value_or(HUGE_VAL));
    if (lo >= hi)
        return;
    lowest_ = std::min(lowest_, lo);
    highest_ = std::max(highest_, hi);
    if (by_ == Grouping::Project) {
        Add(id, 0, sign * (hi - lo));
        return;
    }
    const double first = std::floor(lo), last = std::floor(hi);
    if (first == last) {
        Add(id, first, sign * (hi - lo));
        return;
    }
    Add(id, first, sign * (first + 1 - lo));
    if (last > first + 1)
        runs_.push_back({first + 1, last, id, sign});
    if (hi > last)
        Add(id, last, sign * (hi - last));
}

// The rows: every project with time in the span, and every project named even without.
void Summary::Finish(const std::vector<Project>& projects, const std::vector<qint32>& ids)
{
    for (const auto& [key, days] : sums_)
        pieces_.push_back({static_cast<double>(key & 0xffffffff) + kFirstDay, static_cast<qint32>(key >> 32), days});
    // In one order whatever order the rows came in, so that the sums come out the same.
    std::sort(pieces_.begin(), pieces_.end(),
              [](const Piece& a, const Piece& b) { return a.day < b.day || (a.day == b.day && a.id < b.id); });
    std::map<qint32, double> totals;
    for (const Piece& p : pieces_)
        totals[p.id] += p.days;
    for (const Run& r : runs_)
        totals[r.id] += r.sign * (r.end - r.first);
    std::map<qint32, size_t> rowOf;
    for (const Project& p : projects) {
        const bool named = std::find(ids.begin(), ids.end(), p.id) != ids.end();
        if ((totals.count(p.id) || named) && !rowOf.count(p.id)) {
            rowOf[p.id] = rows_.size();
            rows_.push_back({p.id, p.name, true, totals[p.id], RowLabel(p.id, p.name, true)});
        }
    }
    for (const auto& [id, total] : totals) {
        if (!rowOf.count(id)) {
            rowOf[id] = rows_.size();
            rows_.push_back({id, NoProject(), false, total, RowLabel(id, NoProject(), false)});
        }
    }
    for (Piece& p : pieces_)
        p.row = rowOf[p.id];
    for (Run& r : runs_)
        r.row = rowOf[r.id];
    std::sort(runs_.begin(), runs_.end(), [](const Run& a, const Run& b) { return a.first < b.first; });
}

// The start of the column that holds a day: columns begin at the span's start, then at each
// new day, week (Monday) or month.
double Summary::ColumnStart(double day) const
{
    switch (by_) {
    case Grouping::Week:
        return std::max(from_, WeekStart(day));
    case Grouping::Month:
        return std::max(from_, MonthStart(day));
    default:
        return std::max(from_, day);
    }
}

double Summary::NextStart(double start) const
{
    switch (by_) {
    case Grouping::Week:
        return std::min(to_, WeekStart(start) + 7);
    case Grouping::Month:
        return std::min(to_, NextMonthStart(start));
    default:
        return std::min(to_, start + 1);
    }
}

// Hands each column of the span to f in time order, with its time per row; when skipEmpty,
// only the columns where a period lies.
void Summary::Sweep(bool skipEmpty, const std::function<void(const Column&)>& f) const
{
    Column column;
    const auto add = [&column](size_t row, double days) {
        column.days[row] += days;
        column.used[row] = 1;
    };
    if (by_ == Grouping::Project) {
        column = {from_, to_, std::vector<double>(rows_.size()), std::vector<char>(rows_.size())};
        for (const Piece& p : pieces_)
            add(p.row, p.days);
        f(column);
        return;
    }
    size_t p = 0, r = 0;
    std::vector<const Run*> active;
    for (double start = from_; start < to_;) {
        if (skipEmpty && active.empty()) {
            const double next = std::min(p < pieces_.size() ? pieces_[p].day : to_,
                                         r < runs_.size() ? runs_[r].first : to_);
            if (next >= to_)
                return;
            start = std::max(start, ColumnStart(next));
        }
        const double end = NextStart(start);
        column = {start, end, std::vector<double>(rows_.size()), std::vector<char>(rows_.size())};
        for (; p < pieces_.size() && pieces_[p].day < end; ++p)
            add(pieces_[p].row, pieces_[p].days);
        for (; r < runs_.size() && runs_[r].first < end; ++r)
            active.push_back(&runs_[r]);
        for (const Run* run : active)
            add(run->row, run->sign * (std::min(end, run->end) - std::max(start, run->first)));
        active.erase(std::remove_if(active.begin(), active.end(), [end](const Run* run) { return run->end <= end; }),
                     active.end());
        f(column);
        start = end;
    }
}

// CSV and JSON: an entry per project and column, in time order.
void Summary::WriteEntries(TextOut& out, Format format) const
{
    std::vector<QString> names;
    for (const Row& row : rows_)
        names.push_back(NameField(format, row.name, csvSafe_));
    BeginEntries(out, format);
    bool first = true;
    Sweep(true, [&](const Column& column) {
        for (size_t row = 0; row < rows_.size(); ++row) {
            if (column.used[row]) {
                WriteEntry(out, format, first, rows_[row].id, names[row], column.start, column.end, column.days[row]);
                first = false;
            }
        }
    });
    EndEntries(out, format);
}

// A row per project and a column per day, week or month, and a bar after each total;
// empty when it does not fit.
QString Summary::Wide(int room) const
{
    const bool columns = by_ != Grouping::Project;
    std::vector<Column> all;
    Sweep(false, [&all](const Column& column) { all.push_back(column); });
    double largest = 0;
    for (const Row& row : rows_)
        largest = std::max(largest, row.total);
    std::vector<QStringList> lines(1, QStringList{QStringLiteral("Project")});
    for (size_t c = 0; columns && c < all.size(); ++c)
        lines[0] << text_.Label(by_, all[c].start);
    lines[0] << QStringLiteral("Total");
    double total = 0;
    for (size_t row = 0; row < rows_.size(); ++row) {
        QStringList line{rows_[row].label};
        for (size_t c = 0; columns && c < all.size(); ++c)
            line << (all[c].used[row] ? text_.Hours(all[c].days[row]) : QString());
        line << text_.Hours(rows_[row].total) << Bar(rows_[row].total, largest);
        lines.push_back(line);
        total += rows_[row].total;
    }
    QStringList last{QStringLiteral("Total")};
    for (size_t c = 0; columns && c < all.size(); ++c) {
        double sum = 0;
        for (double days : all[c].days)
            sum += days;
        last << text_.Hours(sum);
    }
    last << text_.Hours(total);
    lines.push_back(last);
    return Lay(lines, room);
}

// The table turned: a row per day, week or month where time lies, a column per project, as
// many as fit, the largest first, and the others together under "Other".
void Summary::Turned(TextOut& out) const
{
    const size_t n = rows_.size();
    std::vector<double> largest(n);
    std::vector<char> negative(n);
    qsizetype labelWidth = 5;
    double otherLargest = 0, totalLargest = 0;
    Sweep(true, [&](const Column& column) {
        labelWidth = std::max(labelWidth, text_.Label(by_, column.start).size());
        double sum = 0, spread = 0;
        for (size_t row = 0; row < n; ++row) {
            largest[row] = std::max(largest[row], std::fabs(column.days[row]));
            negative[row] = negative[row] || column.days[row] < 0;
            sum += column.days[row];
            spread += std::fabs(column.days[row]);
        }
        otherLargest = std::max(otherLargest, spread);
        totalLargest = std::max(totalLargest, std::fabs(sum));
    });
    double grand = 0, grandSpread = 0;
    bool anyNegative = false;
    std::vector<qsizetype> widths(n);
    for (size_t row = 0; row < n; ++row) {
        grand += rows_[row].total;
        grandSpread += std::fabs(rows_[row].total);
        anyNegative = anyNegative || negative[row] || rows_[row].total < 0;
        widths[row] = std::max({rows_[row].label.size(),
                                text_.Hours(negative[row] ? -largest[row] : largest[row]).size(),
                                text_.Hours(rows_[row].total).size()});
    }
    // Widths that no cell of the column can pass: a sum is never larger than its parts.
    const auto hoursWidth = [&](double days) { return text_.Hours(anyNegative ? -days : days).size(); };
    const qsizetype totalWidth = std::max(hoursWidth(std::max(totalLargest, std::fabs(grand))), qsizetype(5));
    const qsizetype otherWidth = std::max(hoursWidth(std::max(otherLargest, grandSpread)), qsizetype(5));

    std::vector<size_t> order(n);
    for (size_t row = 0; row < n; ++row)
        order[row] = row;
    std::stable_sort(order.begin(), order.end(),
                     [this](size_t a, size_t b) { return rows_[a].total > rows_[b].total; });
    std::vector<char> kept(n);
    qsizetype used = labelWidth + 2 + totalWidth;
    for (size_t row : order)
        used += 2 + widths[row];
    const bool all = used <= width_;
    used = labelWidth + 2 + totalWidth + 2 + otherWidth;
    for (size_t row : order) {
        if (all || used + 2 + widths[row] <= width_) {
            kept[row] = 1;
            used += 2 + widths[row];
        }
    }

    static const QString labels[] = {QStringLiteral("Day"), QStringLiteral("Week"), QStringLiteral("Month")};
    std::vector<qsizetype> cellWidths{labelWidth};
    QStringList header{labels[static_cast<int>(by_)]};
    QStringList last{QStringLiteral("Total")};
    double otherTotal = 0;
    for (size_t row = 0; row < n; ++row) {
        if (kept[row]) {
            cellWidths.push_back(widths[row]);
            header << rows_[row].label;
            last << text_.Hours(rows_[row].total);
        } else {
            otherTotal += rows_[row].total;
        }
    }
    if (!all) {
        cellWidths.push_back(otherWidth);
        header << QStringLiteral("Other");
        last << text_.Hours(otherTotal);
    }
    cellWidths.push_back(totalWidth);
    header << QStringLiteral("Total");
    last << text_.Hours(grand);
    out << TableLine(header, cellWidths);
    Sweep(true, [&](const Column& column) {
        QStringList line{text_.Label(by_, column.start)};
        double other = 0, sum = 0;
        bool otherUsed = false;
        for (size_t row = 0; row < n; ++row) {
            sum += column.days[row];
            if (kept[row]) {
                line << (column.used[row] ? text_.Hours(column.days[row]) : QString());
            } else {
                other += column.days[row];
                otherUsed = otherUsed || column.used[row];
            }
        }
        if (!all)
            line << (otherUsed ? text_.Hours(other) : QString());
        line << text_.Hours(sum);
        out << TableLine(line, cellWidths);
    });
    out << TableLine(last, cellWidths);
}

void Summary::Write(TextOut& out, Format format) const
{
    if (format != Format::Table) {
        WriteEntries(out, format);
        return;
    }
    // A table of columns fits only if it would with each column as wide as its label: else
    // it is not made at all. Without columns of time there is nothing to turn: the names
    // take what they need.
    qsizetype least = 7;
    for (const Row& row : rows_)
        least = std::max(least, row.label.size() + 7);
    for (double start = from_; start < to_ && least <= width_; start = NextStart(start))
        least += 2 + std::max(text_.Label(by_, start).size(), qsizetype(5));
    const QString table = by_ == Grouping::Project ? Wide(INT_MAX) : least <= width_ ? Wide(width_) : QString();
    if (table.isEmpty())
        Turned(out);
    out << table;
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
    cn.Open(ConnectionStringForFile(path), Connection::Access::ReadOnly);
}

std::optional<double> ReadReportDay(const QString& text)
{
    std::optional<double> day;
    const QDate iso = QDate::fromString(text.trimmed(), Qt::ISODate);
    if (iso.isValid())
        day = DayOfDate(iso);
    else if (const auto moment = ReadDateText(text))
        day = std::floor(*moment);
    // The day after it must be a date too: it ends the span.
    if (day && (*day < FirstSaneMoment() || *day + 1 > LastSaneMoment()))
        return std::nullopt;
    return day;
}

QString WriteReport(Connection& cn, const ReportOptions& options, QIODevice& device)
{
    if (options.periods)
        return WritePeriods(cn, options, device);
    const Summary summary(cn, options);
    TextOut out(device);
    summary.Write(out, options.format);
    out.Flush();
    return summary.Warning();
}
