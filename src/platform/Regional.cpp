// Moments become regional text and back here, from the locale's own format patterns, rather
// than through QLocale::toString and QLocale::toDateTime: this is about 25 times faster, which
// long lists of periods need, and it reads what users type that Qt 6.4's toDateTime refuses,
// a two-digit year (as 1930 to 2029) and a time of day that a daylight-saving change skips.

#include "platform/Regional.h"

#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/QuotedText.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr qint64 kSecondsPerDay = 86400;

// One piece of a Qt date or time format pattern.
struct Token
{
    enum Kind { Literal, Day, Month, Year, Hour12, Hour24, Minute, Second, AmPm, WeekDay, TimeZone };
    Kind kind;
    int width = 0; // letters in the pattern: 1 = no padding, 2 = two digits, 3/4 = names
    QString text; // Literal only
};

using Pattern = std::vector<Token>;

bool IsSpaceChar(QChar c)
{
    return c.isSpace();
}

// Joins neighbouring text tokens and drops empty ones.
void MergeLiterals(Pattern& p)
{
    Pattern out;
    for (auto& t : p) {
        if (t.kind == Token::Literal) {
            if (t.text.isEmpty())
                continue;
            if (!out.empty() && out.back().kind == Token::Literal) {
                out.back().text += t.text;
                continue;
            }
        }
        out.push_back(t);
    }
    p = std::move(out);
}

// The text of the quoted part that begins at format[i]; two quotes stand for one, inside
// quotes and out. Returns the position after the closing quote.
int QuotedText(const QString& format, int i, QString& text)
{
    if (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('\'')) {
        text = QStringLiteral("'");
        return i + 2;
    }
    const int close = ClosingQuote(format, i + 1, QLatin1Char('\''), &text);
    return close < 0 ? static_cast<int>(format.size()) + 1 : close + 1;
}

// The length of the field at format[i]: a run of one letter, or the marker "ap" in any case.
int FieldLength(const QString& format, int i)
{
    const QChar c = format.at(i);
    const int n = format.size();
    if (c == QLatin1Char('a') || c == QLatin1Char('A'))
        return i + 1 < n && (format.at(i + 1) == QLatin1Char('p') || format.at(i + 1) == QLatin1Char('P')) ? 2 : 1;
    int run = 1;
    while (i + run < n && format.at(i + run) == c)
        ++run;
    return run;
}

// The token of one field of a pattern; characters that are no field stay as text.
std::optional<Token> FieldToken(QStringView field)
{
    const int run = static_cast<int>(field.size());
    switch (field.front().unicode()) {
    case 'd':
        return Token{run >= 3 ? Token::WeekDay : Token::Day, std::min(run, 4), {}};
    case 'M':
        return Token{Token::Month, std::min(run, 4), {}};
    case 'y':
        return Token{Token::Year, run >= 3 ? 4 : 2, {}};
    case 'h':
        // 12-hour only where the pattern has an AM/PM marker; settled by Tokenize.
        return Token{Token::Hour12, std::min(run, 2), {}};
    case 'H':
        return Token{Token::Hour24, std::min(run, 2), {}};
    case 'm':
        return Token{Token::Minute, std::min(run, 2), {}};
    case 's':
        return Token{Token::Second, std::min(run, 2), {}};
    case 'z':
        // Milliseconds: moments are whole seconds, so the field is left out.
        return std::nullopt;
    case 't':
        return Token{Token::TimeZone, run, {}};
    case 'a':
    case 'A':
        return Token{Token::AmPm, run, {}};
    default:
        return Token{Token::Literal, 0, field.toString()};
    }
}

// Splits a Qt format pattern ("M/d/yy", "h:mm:ss AP t", "d.MM.yy 'г'.") into tokens.
Pattern Tokenize(const QString& format)
{
    Pattern out;
    for (int i = 0; i < format.size();) {
        if (format.at(i) == QLatin1Char('\'')) {
            QString text;
            i = QuotedText(format, i, text);
            out.push_back({Token::Literal, 0, text});
            continue;
        }
        const int length = FieldLength(format, i);
        if (std::optional<Token> t = FieldToken(QStringView(format).mid(i, length)))
            out.push_back(std::move(*t));
        i += length;
    }
    MergeLiterals(out);
    const bool hasAmPm = std::any_of(out.begin(), out.end(), [](const Token& t) { return t.kind == Token::AmPm; });
    if (!hasAmPm) {
        for (auto& t : out) {
            if (t.kind == Token::Hour12)
                t.kind = Token::Hour24;
        }
    }
    return out;
}

// Removes blanks and commas at both ends of the pattern (left over where a field was taken out).
void TrimPattern(Pattern& p)
{
    auto isTrim = [](QChar c) { return IsSpaceChar(c) || c == QLatin1Char(','); };
    while (!p.empty() && p.front().kind == Token::Literal) {
        QString& t = p.front().text;
        int k = 0;
        while (k < t.size() && isTrim(t.at(k)))
            ++k;
        t.remove(0, k);
        if (!t.isEmpty())
            break;
        p.erase(p.begin());
    }
    while (!p.empty() && p.back().kind == Token::Literal) {
        QString& t = p.back().text;
        int k = t.size();
        while (k > 0 && isTrim(t.at(k - 1)))
            --k;
        t.truncate(k);
        if (!t.isEmpty())
            break;
        p.pop_back();
    }
}

// The regional time of day without the time zone: "h:mm:ss AP t" -> "h:mm:ss AP",
// "H:mm:ss (t)" -> "H:mm:ss", "t HH:mm:ss" -> "HH:mm:ss".
Pattern TimePattern(const QLocale& loc)
{
    Pattern p = Tokenize(loc.timeFormat(QLocale::LongFormat));
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i].kind != Token::TimeZone)
            continue;
        if (i > 0 && i + 1 < p.size() && p[i - 1].kind == Token::Literal && p[i + 1].kind == Token::Literal
            && p[i - 1].text.endsWith(QLatin1Char('(')) && p[i + 1].text.startsWith(QLatin1Char(')'))) {
            p[i - 1].text.chop(1);
            p[i + 1].text.remove(0, 1);
        }
        p.erase(p.begin() + static_cast<std::ptrdiff_t>(i));
        --i;
    }
    MergeLiterals(p);
    TrimPattern(p);
    // A pattern without seconds (some locales' long form) gets them after the minutes.
    bool hasSeconds = false;
    for (const auto& t : p)
        hasSeconds = hasSeconds || t.kind == Token::Second;
    if (!hasSeconds) {
        for (size_t i = 0; i < p.size(); ++i) {
            if (p[i].kind == Token::Minute) {
                p.insert(p.begin() + static_cast<std::ptrdiff_t>(i) + 1, {Token::Literal, 0, QStringLiteral(":")});
                p.insert(p.begin() + static_cast<std::ptrdiff_t>(i) + 2, {Token::Second, 2, {}});
                break;
            }
        }
    }
    return p;
}

// The same time pattern without its seconds, for reading "9:30" as well as "9:30:00".
Pattern WithoutSeconds(Pattern p)
{
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i].kind != Token::Second)
            continue;
        const bool unitAfter = i + 1 < p.size() && p[i + 1].kind == Token::Literal
            && !p[i + 1].text.trimmed().isEmpty();
        if (unitAfter) {
            // "mm分ss秒": the seconds' own unit goes with them.
            p.erase(p.begin() + static_cast<std::ptrdiff_t>(i), p.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        } else if (i > 0 && p[i - 1].kind == Token::Literal) {
            // "mm:ss": the separator before them goes.
            p.erase(p.begin() + static_cast<std::ptrdiff_t>(i) - 1, p.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        } else {
            p.erase(p.begin() + static_cast<std::ptrdiff_t>(i));
        }
        break;
    }
    MergeLiterals(p);
    TrimPattern(p);
    return p;
}

// The regional short date with the year always in four digits.
Pattern DatePattern(const QLocale& loc)
{
    Pattern p = Tokenize(loc.dateFormat(QLocale::ShortFormat));
    for (auto& t : p) {
        if (t.kind == Token::Year)
            t.width = 4;
    }
    return p;
}

struct Formats
{
    QLocale locale;
    QChar zero;
    QString am, pm;
    Pattern date;
    std::vector<Pattern> times; // for reading: with seconds, without, and the plain 24-hour forms
    // Short and long names, asked of the locale once: each asking costs more than a whole date.
    QString months[2][12], days[2][7];
};

// Patterns are built again only when the default locale changes.
const Formats& FormatsOf(const QLocale& loc)
{
    static Formats cache;
    static bool ready = false;
    if (!ready || !(cache.locale == loc)) {
        cache.locale = loc;
        cache.zero = loc.zeroDigit().size() == 1 ? loc.zeroDigit().at(0) : QLatin1Char('0');
        cache.am = loc.amText();
        cache.pm = loc.pmText();
        cache.date = DatePattern(loc);
        const Pattern time = TimePattern(loc);
        cache.times = {time, WithoutSeconds(time), Tokenize(QStringLiteral("H:mm:ss")),
                       Tokenize(QStringLiteral("H:mm"))};
        for (const int form : {0, 1}) {
            const auto type = form ? QLocale::LongFormat : QLocale::ShortFormat;
            for (int k = 0; k < 12; ++k)
                cache.months[form][k] = loc.monthName(k + 1, type);
            for (int k = 0; k < 7; ++k)
                cache.days[form][k] = loc.dayName(k + 1, type);
        }
        ready = true;
    }
    return cache;
}

const Formats& CurrentFormats()
{
    return FormatsOf(QLocale());
}

void AppendNumber(QString& out, int value, int width, QChar zero)
{
    char16_t digits[8];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(zero.unicode() + value % 10);
        value /= 10;
    } while (value > 0 && n < 8);
    while (n < width && n < 8)
        digits[n++] = zero.unicode();
    while (n > 0)
        out += QChar(digits[--n]);
}

void Write(QString& out, const Pattern& p, const Formats& f, const QDate& date, const QTime& time)
{
    // QDate works the calendar out on every call of day(), month() and year(): once is enough.
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    for (const auto& t : p) {
        switch (t.kind) {
        case Token::Literal:
            out += t.text;
            break;
        case Token::Day:
            AppendNumber(out, day, t.width, f.zero);
            break;
        case Token::Month:
            if (t.width >= 3)
                out += f.months[t.width == 3 ? 0 : 1][month - 1];
            else
                AppendNumber(out, month, t.width, f.zero);
            break;
        case Token::Year:
            AppendNumber(out, year, 4, f.zero);
            break;
        case Token::WeekDay:
            out += f.days[t.width == 3 ? 0 : 1][date.dayOfWeek() - 1];
            break;
        case Token::Hour12: {
            const int h = time.hour() % 12;
            AppendNumber(out, h == 0 ? 12 : h, t.width, f.zero);
            break;
        }
        case Token::Hour24:
            AppendNumber(out, time.hour(), t.width, f.zero);
            break;
        case Token::Minute:
            AppendNumber(out, time.minute(), t.width, f.zero);
            break;
        case Token::Second:
            AppendNumber(out, time.second(), t.width, f.zero);
            break;
        case Token::AmPm:
            out += time.hour() < 12 ? f.am : f.pm;
            break;
        case Token::TimeZone:
            break;
        }
    }
}

// Reading ------------------------------------------------------------------------------

struct Fields
{
    int day = -1, month = -1, year = -1, yearDigits = 0;
    int hour = -1, minute = -1, second = 0;
    int ampm = 0; // 0 none, 1 am, 2 pm
    bool twelveHour = false;
};

class Reader
{
public:
    Reader(QStringView text, const Formats& f) : s_(text), f_(f) { }

    int Pos() const { return pos_; }
    void SetPos(int p) { pos_ = p; }
    bool AtEnd() const { return pos_ >= s_.size(); }

    int DigitAt(int i) const
    {
        if (i >= s_.size())
            return -1;
        const char16_t c = s_.at(i).unicode();
        if (c >= u'0' && c <= u'9')
            return c - u'0';
        const char16_t z = f_.zero.unicode();
        if (z != u'0' && c >= z && c <= z + 9)
            return c - z;
        return -1;
    }

    // Reads 1 to maxDigits digits; returns the count read (0 when none).
    int Number(int maxDigits, int& value)
    {
        value = 0;
        int k = 0;
        while (k < maxDigits) {
            const int d = DigitAt(pos_ + k);
            if (d < 0)
                break;
            value = value * 10 + d;
            ++k;
        }
        pos_ += k;
        return k;
    }

    bool Literal(const QString& lit)
    {
        int i = 0;
        while (i < lit.size()) {
            const QChar c = lit.at(i);
            if (IsSpaceChar(c)) {
                // A blank in the pattern takes one or more blanks of any kind.
                while (i < lit.size() && IsSpaceChar(lit.at(i)))
                    ++i;
                if (AtEnd() || !IsSpaceChar(s_.at(pos_)))
                    return false;
                while (!AtEnd() && IsSpaceChar(s_.at(pos_)))
                    ++pos_;
                continue;
            }
            if (AtEnd() || s_.at(pos_).toCaseFolded() != c.toCaseFolded())
                return false;
            ++pos_;
            ++i;
        }
        return true;
    }

    bool Word(const QString& w)
    {
        if (w.isEmpty() || s_.size() - pos_ < w.size())
            return false;
        if (s_.mid(pos_, w.size()).compare(w, Qt::CaseInsensitive) != 0)
            return false;
        pos_ += w.size();
        return true;
    }

    void SkipSpaces()
    {
        while (!AtEnd() && IsSpaceChar(s_.at(pos_)))
            ++pos_;
    }

    bool NextIsSpace() const { return !AtEnd() && IsSpaceChar(s_.at(pos_)); }

private:
    QStringView s_;
    const Formats& f_;
    int pos_ = 0;
};

// One reader per field kind: each reads its field at the reader's position into the fields
// and says whether the field was there.

// Day, month, hour, minute and second numbers: one or two digits.
bool ReadNumber(Reader& r, int& field)
{
    int v = 0;
    if (r.Number(2, v) == 0)
        return false;
    field = v;
    return true;
}

// The number (from 1) of the regional name, full or short, at the reader's position; 0 for none.
int ReadName(Reader& r, const QLocale& loc, int count, QString (QLocale::*name)(int, QLocale::FormatType) const)
{
    for (int k = 1; k <= count; ++k) {
        if (r.Word((loc.*name)(k, QLocale::LongFormat)) || r.Word((loc.*name)(k, QLocale::ShortFormat)))
            return k;
    }
    return 0;
}

bool ReadMonth(Reader& r, const Token& t, const Formats& f, Fields& out)
{
    if (t.width < 3)
        return ReadNumber(r, out.month);
    const int month = ReadName(r, f.locale, 12, &QLocale::monthName);
    if (month == 0)
        return false;
    out.month = month;
    return true;
}

// Two or four digits; how many is kept for the century.
bool ReadYear(Reader& r, Fields& out)
{
    int v = 0;
    const int digits = r.Number(4, v);
    if (digits != 2 && digits != 4)
        return false;
    out.year = v;
    out.yearDigits = digits;
    return true;
}

bool ReadHour(Reader& r, const Token& t, Fields& out)
{
    if (!ReadNumber(r, out.hour))
        return false;
    out.twelveHour = t.kind == Token::Hour12;
    return true;
}

bool ReadAmPm(Reader& r, const Formats& f, Fields& out)
{
    // The longer marker first, in case one begins with the other.
    const bool amFirst = f.am.size() >= f.pm.size();
    if (r.Word(amFirst ? f.am : f.pm))
        out.ampm = amFirst ? 1 : 2;
    else if (r.Word(amFirst ? f.pm : f.am))
        out.ampm = amFirst ? 2 : 1;
    else
        return false;
    return true;
}

// The text between fields, p[i].
bool ReadLiteral(Reader& r, const Pattern& p, size_t i)
{
    // A blank before an optional AM/PM marker may be missing together with the marker.
    const bool besideAmPm = (i + 1 < p.size() && p[i + 1].kind == Token::AmPm)
        || (i > 0 && p[i - 1].kind == Token::AmPm);
    if (besideAmPm && p[i].text.trimmed().isEmpty()) {
        r.SkipSpaces();
        return true;
    }
    return r.Literal(p[i].text);
}

// Matches the pattern at the reader's position; on success the fields are filled.
bool Match(Reader& r, const Pattern& p, const Formats& f, Fields& out, bool ampmOptional)
{
    for (size_t i = 0; i < p.size(); ++i) {
        const Token& t = p[i];
        bool read = true;
        switch (t.kind) {
        case Token::Literal:
            read = ReadLiteral(r, p, i);
            break;
        case Token::Day:
            read = ReadNumber(r, out.day);
            break;
        case Token::Month:
            read = ReadMonth(r, t, f, out);
            break;
        case Token::Year:
            read = ReadYear(r, out);
            break;
        case Token::WeekDay:
            read = ReadName(r, f.locale, 7, &QLocale::dayName) != 0;
            break;
        case Token::Hour12:
        case Token::Hour24:
            read = ReadHour(r, t, out);
            break;
        case Token::Minute:
            read = ReadNumber(r, out.minute);
            break;
        case Token::Second:
            read = ReadNumber(r, out.second);
            break;
        case Token::AmPm:
            read = ReadAmPm(r, f, out) || ampmOptional;
            break;
        case Token::TimeZone:
            break;
        }
        if (!read)
            return false;
    }
    return true;
}

bool ValidDate(Fields& fl, QDate& date)
{
    if (fl.yearDigits == 2)
        fl.year += fl.year < 30 ? 2000 : 1900;
    if (fl.year < kFirstYear || fl.year > kLastYear)
        return false;
    if (!QDate::isValid(fl.year, fl.month, fl.day))
        return false;
    date = QDate(fl.year, fl.month, fl.day);
    return true;
}

bool ValidTime(const Fields& fl, QTime& time)
{
    int h = fl.hour;
    if (fl.twelveHour && fl.ampm != 0) {
        if (h < 1 || h > 12)
            return false;
        h = h % 12 + (fl.ampm == 2 ? 12 : 0);
    } else if (fl.ampm != 0) {
        // A marker after a 24-hour time reads only where it agrees with the hour.
        if (h > 12 || h == 0)
            return false;
        h = h % 12 + (fl.ampm == 2 ? 12 : 0);
    }
    if (h < 0 || h > 23 || fl.minute < 0 || fl.minute > 59 || fl.second < 0 || fl.second > 59)
        return false;
    time = QTime(h, fl.minute, fl.second);
    return true;
}

// Reads a time of day from the reader's position to the end of the text.
bool ReadTime(Reader& r, const Formats& f, QTime& time)
{
    const int start = r.Pos();
    for (const auto& p : f.times) {
        r.SetPos(start);
        Fields fl;
        if (Match(r, p, f, fl, true) && r.AtEnd() && ValidTime(fl, time))
            return true;
    }
    return false;
}

} // namespace

double MomentFromDateTime(const QDate& date, const QTime& time)
{
    const qint64 days = kDayZero.daysTo(date);
    const int secs = time.hour() * 3600 + time.minute() * 60 + time.second();
    return static_cast<double>(days) + static_cast<double>(secs) / kSecondsPerDay;
}

void DateTimeFromMoment(double moment, QDate& date, QTime& time)
{
    const double limit = 3.0e6; // well past the year 9999 on both sides
    if (!std::isfinite(moment) || moment < -limit || moment > limit)
        throw AppError("The value " + QString::number(moment, 'g', 17).toStdString() + " is not a date and time.",
                       ErrorKind::BadInput);
    const qint64 total = std::llround(moment * kSecondsPerDay);
    qint64 days = total / kSecondsPerDay;
    qint64 secs = total % kSecondsPerDay;
    if (secs < 0) {
        secs += kSecondsPerDay;
        days -= 1;
    }
    date = kDayZero.addDays(days);
    time = QTime(0, 0).addSecs(static_cast<int>(secs));
    if (date.year() < kFirstYear || date.year() > kLastYear)
        throw AppError("The value " + QString::number(moment, 'g', 17).toStdString()
                           + " is not a date and time between the years 100 and 9999.",
                       ErrorKind::BadInput);
}

QString GeneralDateText(double moment)
{
    return GeneralDateText(moment, QLocale());
}

QString GeneralDateText(double moment, const QLocale& locale)
{
    QDate date;
    QTime time;
    DateTimeFromMoment(moment, date, time);
    const Formats& f = FormatsOf(locale);
    QString out;
    out.reserve(32);
    if (date == kDayZero) {
        Write(out, f.times.front(), f, date, time);
    } else if (time == QTime(0, 0)) {
        Write(out, f.date, f, date, time);
    } else {
        Write(out, f.date, f, date, time);
        out += QLatin1Char(' ');
        Write(out, f.times.front(), f, date, time);
    }
    return out;
}

QString ShortTimeText(double moment)
{
    QDate date;
    QTime time;
    DateTimeFromMoment(moment, date, time);
    const Formats& f = CurrentFormats();
    QString out;
    Write(out, f.times.at(1), f, date, time);
    return out;
}

std::optional<double> ReadDateText(QStringView text)
{
    // Blanks typed or pasted around a date are no part of it.
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    const Formats& f = CurrentFormats();
    Reader r(text, f);
    Fields fl;
    QDate date;
    if (Match(r, f.date, f, fl, false) && ValidDate(fl, date)) {
        if (r.AtEnd())
            return MomentFromDateTime(date, QTime(0, 0));
        if (r.NextIsSpace()) {
            r.SkipSpaces();
            QTime time;
            if (!r.AtEnd() && ReadTime(r, f, time))
                return MomentFromDateTime(date, time);
        }
    }
    // Not a date, or a date with something after it that is no time: perhaps a time alone
    // (in some regions "17.42.21" could begin like a date).
    r.SetPos(0);
    QTime time;
    if (ReadTime(r, f, time))
        return MomentFromDateTime(kDayZero, time);
    return std::nullopt;
}

double CurrentMoment()
{
    const QDateTime now = CurrentClock().LocalNow();
    const QTime t = now.time();
    return MomentFromDateTime(now.date(), QTime(t.hour(), t.minute(), t.second()));
}

QString IsoDateTimeText(double moment)
{
    QDate date;
    QTime time;
    DateTimeFromMoment(moment, date, time);
    // By hand: Qt's own ISO formatting is several times slower, and exports run to millions of rows.
    char16_t out[19];
    auto put = [&out](int at, int value, int width) {
        for (int k = at + width - 1; k >= at; --k, value /= 10)
            out[k] = static_cast<char16_t>(u'0' + value % 10);
    };
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    put(0, year, 4);
    out[4] = u'-';
    put(5, month, 2);
    out[7] = u'-';
    put(8, day, 2);
    out[10] = u'T';
    put(11, time.hour(), 2);
    out[13] = u':';
    put(14, time.minute(), 2);
    out[16] = u':';
    put(17, time.second(), 2);
    return QString(reinterpret_cast<const QChar*>(out), 19);
}

double MinutesFromDays(double days)
{
    const double minutes = days * 1440.0;
    if (!std::isfinite(minutes))
        throw AppError("Overflow: a total time cannot be shown in minutes.", ErrorKind::BadInput);
    return minutes;
}

qint64 WholeMinutesBetween(double start, double end)
{
    // Through whole seconds, as moments hold them: a day fraction of exactly 83 minutes may
    // come out a hair short of 83.
    return std::max<qint64>(std::llround((end - start) * kSecondsPerDay) / 60, 0);
}

QString HoursMinutesText(qint64 minutes)
{
    return QStringLiteral("%1:%2").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString MinutesText(double minutes, const QLocale& locale)
{
    // nearbyint rounds in the default mode, to nearest with ties to even.
    double tenths = std::nearbyint(minutes * 10.0);
    if (!std::isfinite(tenths))
        throw AppError("The total time is too large to show.", ErrorKind::BadInput);
    if (tenths == 0.0)
        tenths = 0.0; // no "-0"
    QLocale loc = locale;
    // Changed only when needed: a change copies the locale, and an export asks a million times.
    if (!loc.numberOptions().testFlag(QLocale::OmitGroupSeparator))
        loc.setNumberOptions(loc.numberOptions() | QLocale::OmitGroupSeparator);
    const bool whole = std::fmod(tenths, 10.0) == 0.0;
    return loc.toString(tenths / 10.0, 'f', whole ? 0 : 1);
}
