#include "report/ReportText.h"

#include "platform/Database.h"
#include "platform/Regional.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>

namespace {

// The periods named in the warning about those left out; the others are counted.
constexpr size_t kNamedLeftOut = 10;

QString Hex(char32_t c, int width)
{
    return QString::number(c, 16).rightJustified(width, QLatin1Char('0'));
}

} // namespace

QString SqlNumber(double value)
{
    return QString::number(value, 'g', 17);
}

bool HasSpanIndex(Connection& cn)
{
    RecordSet rs;
    rs.Open(
        QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='index' AND name='%1'").arg(QLatin1String(kSpanIndex)),
        cn);
    return !rs.IsEOF();
}

QString FromSpanIndex()
{
    return QStringLiteral(" FROM tblTimePeriod INDEXED BY %1 WHERE (%2)")
        .arg(QLatin1String(kSpanIndex), QLatin1String(kShortPeriod));
}

QString ProjectCondition(const std::vector<qint32>& ids)
{
    if (ids.empty())
        return QString();
    QStringList list;
    for (qint32 id : ids)
        list << QString::number(id);
    return QStringLiteral(" AND ProjectID IN (%1)").arg(list.join(QLatin1Char(',')));
}

void TextOut::Flush()
{
    const QByteArray bytes = buffer_.toUtf8();
    buffer_.clear();
    if (device_.write(bytes) != bytes.size())
        throw WriteError(QStringLiteral("The report could not be written: %1.").arg(device_.errorString()));
}

Notation::Notation()
{
    const QList<uint> zero = locale_.zeroDigit().toUcs4();
    for (char32_t d = 0; d < 10; ++d) {
        const char32_t digit = (zero.isEmpty() ? U'0' : zero.front()) + d;
        digits_[d] = QString::fromUcs4(&digit, 1);
    }
    minus_ = locale_.negativeSign();
    for (int k = 0; k < 7; ++k)
        days_[k] = locale_.dayName(k + 1, QLocale::ShortFormat);
    for (int k = 0; k < 12; ++k)
        months_[k] = locale_.standaloneMonthName(k + 1, QLocale::ShortFormat);
}

QString Notation::Number(qint64 value, int width) const
{
    int digits[20];
    int n = 0;
    for (; value > 0 || n < width; value /= 10)
        digits[n++] = static_cast<int>(value % 10);
    QString out;
    out.reserve(n * digits_[0].size());
    while (n > 0)
        out += digits_[digits[--n]];
    return out;
}

QString Notation::Hours(double days) const
{
    const double minutes = std::round(MinutesFromDays(days));
    // Past 2^62 minutes a number no longer fits; no span of years 100 to 9999 comes near.
    const double whole = std::min(std::fabs(minutes), 4.0e18);
    const auto hours = static_cast<qint64>(whole / 60);
    const auto rest = static_cast<qint64>(whole - static_cast<double>(hours) * 60);
    QString out;
    out.reserve(24);
    if (minutes < 0)
        out += minus_;
    out += Number(hours, 2);
    out += QLatin1Char(':');
    out += Number(rest, 2);
    return out;
}

QString Notation::Date(double moment) const
{
    return GeneralDateText(moment, locale_);
}

QString Notation::DayLabel(double day) const
{
    return days_[DateOfDay(day).dayOfWeek() - 1] + QLatin1Char(' ') + Date(day);
}

QString Notation::Label(Grouping by, double start) const
{
    const QDate date = DateOfDay(start);
    int year = date.year();
    switch (by) {
    case Grouping::Day:
        return DayLabel(start);
    case Grouping::Week: {
        const int week = date.weekNumber(&year);
        return QLatin1Char('W') + Number(week, 2) + QLatin1Char(' ') + Number(year, 1);
    }
    case Grouping::Month:
        return months_[date.month() - 1] + QLatin1Char(' ') + Number(year, 1);
    case Grouping::Project:
        break;
    }
    return QString();
}

QString Visible(const QString& text)
{
    const auto shown = [](char32_t c) {
        const QChar::Category category = QChar::category(c);
        return category != QChar::Other_Control && category != QChar::Separator_Line
            && category != QChar::Separator_Paragraph && (c < 0x202a || c > 0x202e) && (c < 0x2066 || c > 0x2069);
    };
    if (std::all_of(text.begin(), text.end(), [&shown](QChar c) { return shown(c.unicode()); }))
        return text;
    QString out;
    for (const char32_t c : text.toUcs4()) {
        if (shown(c))
            out += QString::fromUcs4(&c, 1);
        else if (c == '\t' || c == '\n' || c == '\r')
            out += c == '\t' ? QLatin1StringView("\\t")
                : c == '\n'  ? QLatin1StringView("\\n")
                             : QLatin1StringView("\\r");
        else
            out += c < 0x100 ? QStringLiteral("\\x") + Hex(c, 2) : QStringLiteral("\\u") + Hex(c, 4);
    }
    return out;
}

QString CsvField(const QString& text, bool safe)
{
    static const QString formula = QStringLiteral("=+-@\t\r");
    QString field = safe && !text.isEmpty() && formula.contains(text.front()) ? QLatin1Char('\'') + text : text;
    static const QString special = QStringLiteral(",\"\r\n");
    if (std::none_of(field.begin(), field.end(), [](QChar c) { return special.contains(c); }))
        return field;
    field.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

QString JsonString(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u") + Hex(c.unicode(), 4);
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

QString CsvMoment(double moment)
{
    return std::isnan(moment) ? QString() : IsoDateTimeText(moment);
}

QString JsonMoment(double moment)
{
    return std::isnan(moment) ? QStringLiteral("null") : QLatin1Char('"') + IsoDateTimeText(moment) + QLatin1Char('"');
}

QString PlainMinutes(double days)
{
    static const QLocale plain = [] {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::OmitGroupSeparator);
        return c;
    }();
    return MinutesText(MinutesFromDays(days), plain);
}

QString NameField(Format format, const QString& name, bool csvSafe)
{
    return format == Format::Json ? JsonString(name) : CsvField(name, csvSafe);
}

void BeginEntries(TextOut& out, Format format)
{
    out << (format == Format::Json ? QLatin1StringView("[")
                                   : QLatin1StringView("project_id,project,start,end,minutes\r\n"));
}

void WriteEntry(TextOut& out, Format format, bool first, qint32 id, const QString& nameField, double start, double end,
                double days)
{
    if (format == Format::Csv) {
        out << QString::number(id) << QLatin1Char(',') << nameField << QLatin1Char(',') << CsvMoment(start)
            << QLatin1Char(',') << CsvMoment(end) << QLatin1Char(',') << PlainMinutes(days)
            << QLatin1StringView("\r\n");
        return;
    }
    out << (first ? QLatin1StringView("\n{\"project_id\":") : QLatin1StringView(",\n{\"project_id\":"))
        << QString::number(id) << QLatin1StringView(",\"project\":") << nameField << QLatin1StringView(",\"start\":")
        << JsonMoment(start) << QLatin1StringView(",\"end\":") << JsonMoment(end) << QLatin1StringView(",\"minutes\":")
        << PlainMinutes(days) << QLatin1Char('}');
}

void EndEntries(TextOut& out, Format format)
{
    if (format == Format::Json)
        out << QLatin1StringView("\n]\n");
}

const QString& NoProject()
{
    static const QString text = QStringLiteral("(no project)");
    return text;
}

QString RowLabel(qint32 id, const QString& name, bool known)
{
    return known ? Visible(name) : QStringLiteral("%1 %2").arg(NoProject()).arg(id);
}

QString TableLine(const QStringList& cells, const std::vector<qsizetype>& widths, const std::vector<char>& left)
{
    QString text;
    for (qsizetype c = 0; c < cells.size(); ++c) {
        if (c > 0)
            text += QStringLiteral("  ");
        const auto at = static_cast<size_t>(c);
        const qsizetype width = at < widths.size() ? widths[at] : 0;
        text += (at < left.size() ? left[at] : c == 0) ? cells[c].leftJustified(width) : cells[c].rightJustified(width);
    }
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text + QLatin1Char('\n');
}

QDate DateOfDay(double day)
{
    return kDayZero.addDays(static_cast<qint64>(std::floor(day)));
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

double NextMonthStart(double day)
{
    return DayOfDate(DateOfDay(MonthStart(day)).addMonths(1));
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

std::vector<qint32> ChooseProjects(const std::vector<Project>& projects, const QStringList& names)
{
    std::vector<qint32> ids;
    for (const QString& name : names) {
        const auto before = ids.size();
        for (const Project& p : projects) {
            if (CompareNames(p.name, name) == 0)
                ids.push_back(p.id);
        }
        if (ids.size() == before)
            throw UsageError(QStringLiteral("There is no project named \"%1\".").arg(name));
    }
    return ids;
}

QString SelectPeriods(Connection& cn, const ReportOptions& o, const std::vector<qint32>& ids, const QString& columns,
                      const QString& tail, bool ordered)
{
    const QString projects = ProjectCondition(ids);
    // Either way round, as a period may end before it starts; plain comparisons, as SQLite's
    // MIN and MAX would double the time of a scan.
    const QString low = o.from ? SqlNumber(*o.from) : QString(), high = o.to ? SqlNumber(*o.to) : QString();
    QString overlap;
    if (o.from && o.to)
        overlap = QStringLiteral("(StartTime<%2 AND EndTime>%1) OR (EndTime<%2 AND StartTime>%1)").arg(low, high);
    else if (o.from)
        overlap = QStringLiteral("StartTime>%1 OR EndTime>%1").arg(low);
    else if (o.to)
        overlap = QStringLiteral("StartTime<%1 OR EndTime<%1").arg(high);
    // A missing moment overlaps every span: such periods are always seen, to be named.
    const QString span = overlap.isEmpty()
        ? QStringLiteral("1")
        : QStringLiteral("(%1 OR StartTime IS NULL OR EndTime IS NULL)").arg(overlap);
    const QString order = ordered ? QStringLiteral(" ORDER BY 2, 1") : QString();
    // The span index pays where there is a span to seek to, or a whole export to put in time order.
    if ((overlap.isEmpty() && !(ordered && ids.empty())) || !HasSpanIndex(cn))
        return QStringLiteral("SELECT %1 FROM tblTimePeriod WHERE %2%3%4%5").arg(columns, span, projects, tail, order);
    // Periods of up to a day overlap the span only when they start less than a day before it.
    QString shortOnes;
    if (o.from)
        shortOnes += QStringLiteral(" AND StartTime>%1 AND EndTime>%2").arg(SqlNumber(*o.from - 1), low);
    if (o.to)
        shortOnes += QStringLiteral(" AND StartTime<%1").arg(high);
    // For a few projects their own index seeks to the span faster: the "+" keeps the span index out.
    const QString shortFrom = ids.empty()
        ? FromSpanIndex()
        : QStringLiteral(" FROM tblTimePeriod WHERE +(%1)").arg(QLatin1String(kShortPeriod));
    return QStringLiteral("SELECT %1%2=1%3%4%5 UNION ALL SELECT %1%6=0 AND %7%4%5%8")
        .arg(columns, shortFrom, shortOnes, projects, tail, FromSpanIndex(), span, order);
}

bool LeftOut::Sane(const RecordSet& rs, int startColumn, int idColumn, double& start, double& end)
{
    const auto moment = [&rs](int column, double& value) {
        const QVariant v = rs.Fields(column).Value();
        if (v.typeId() != QMetaType::Double && v.typeId() != QMetaType::LongLong)
            return false;
        value = v.toDouble();
        return value >= FirstSaneMoment() && value <= LastSaneMoment();
    };
    if (moment(startColumn, start) && moment(startColumn + 1, end))
        return true;
    // The lowest IDs are named, whatever order the rows came in.
    ++count_;
    const qint32 id = rs.Fields(idColumn).ToInt32();
    ids_.insert(std::lower_bound(ids_.begin(), ids_.end(), id), id);
    if (ids_.size() > kNamedLeftOut)
        ids_.pop_back();
    return false;
}

QString LeftOut::Warning() const
{
    if (count_ == 0)
        return QString();
    QStringList named;
    for (qint32 id : ids_)
        named << QString::number(id);
    if (count_ > static_cast<qint64>(ids_.size()))
        named << QStringLiteral("and %1 more").arg(count_ - static_cast<qint64>(ids_.size()));
    return QStringLiteral("Left out %1 period%2 whose start or end is missing or not a date between the years %3 "
                          "and %4: TimePeriodID %5.")
        .arg(count_)
        .arg(count_ == 1 ? QString() : QStringLiteral("s"))
        .arg(kFirstYear)
        .arg(kLastYear)
        .arg(named.join(QStringLiteral(", ")));
}

double FirstSaneMoment()
{
    static const double first = DayOfDate(QDate(kFirstYear, 1, 1));
    return first;
}

double LastSaneMoment()
{
    static const double last = DayOfDate(QDate(kLastYear + 1, 1, 1)) - 1.0 / 86400;
    return last;
}
