#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringView>
#include <QTime>

#include <optional>

// The user's regional settings, as the program sees them through the default QLocale:
// the one conversion of moments to text (and back) and the text of a number of minutes.
//
// A moment is a day count since 30 December 1899 with the time of day as the fraction,
// local wall-clock time. Conversions go through the calendar date and the time of day,
// never through UTC, so a daylight-saving change shifts nothing.

// Day 0 of the day counts.
inline const QDate kDayZero(1899, 12, 30);
// The years a moment may fall in; beyond them a day count is not a date of ours.
inline constexpr int kFirstYear = 100;
inline constexpr int kLastYear = 9999;

// The day count of a date and a time of day (whole seconds).
double MomentFromDateTime(const QDate& date, const QTime& time);

// The date and the time of day of a moment, rounded to the whole second.
// Throws AppError when the moment lies outside the years 100 to 9999 or is not a number.
void DateTimeFromMoment(double moment, QDate& date, QTime& time);

// The general date text: the regional short date with a four-digit year, one blank and the
// regional time of day with seconds; the date alone at exactly midnight, the time alone on day 0.
QString GeneralDateText(double moment);
// The same in a locale held by the caller, for long runs of moments in one locale.
QString GeneralDateText(double moment, const QLocale& locale);

// The time of day alone, in the regional format without seconds ("5:42 PM"): for messages.
QString ShortTimeText(double moment);

// Reads a date, a time of day, or a date followed by a time in the regional notation
// (seconds optional, a two-digit year read as 1930 to 2029). Blanks before and after are
// ignored; the rest must be read whole: empty text and text with anything left over give no moment.
std::optional<double> ReadDateText(QStringView text);

// The current local date and time, truncated to the whole second.
double CurrentMoment();

// The local date-time of a moment in ISO 8601, "2026-12-07T09:30:00", whatever the region.
QString IsoDateTimeText(double moment);

// Days to minutes; raises an AppError when the result is not a finite number.
double MinutesFromDays(double days);

// The whole minutes from start to end, at least 0: how long a timing has run.
qint64 WholeMinutesBetween(double start, double end);
// A number of minutes as hours and minutes, "1:23" (any number of hours): for a line of text.
QString HoursMinutesText(qint64 minutes);

// Minutes as the main window shows them: rounded to one decimal place, ties to the even
// digit, shortest form, the regional decimal separator, no digit grouping. Files meant for
// other programs pass QLocale::c() for a dot.
QString MinutesText(double minutes, const QLocale& locale = QLocale());
