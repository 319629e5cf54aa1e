#include "platform/AppError.h"
#include "platform/Regional.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <ctime>

namespace {

const QStringList kLocales = {
    QStringLiteral("en_US"), QStringLiteral("en_GB"), QStringLiteral("de_DE"), QStringLiteral("ja_JP"),
    QStringLiteral("C"),     QStringLiteral("fr_FR"), QStringLiteral("ko_KR"), QStringLiteral("zh_CN"),
    QStringLiteral("ar_EG"), QStringLiteral("fa_IR"), QStringLiteral("fi_FI"), QStringLiteral("bg_BG"),
    QStringLiteral("sq_AL"), QStringLiteral("es_ES"), QStringLiteral("th_TH"), QStringLiteral("hu_HU"),
    QStringLiteral("he_IL"), QStringLiteral("da_DK"), QStringLiteral("nl_NL"), QStringLiteral("hi_IN"),
};

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return MomentFromDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

qint64 Seconds(double moment)
{
    return std::llround(moment * 86400.0);
}

} // namespace

class tst_Regional : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void generalDateText_data();
    void generalDateText();
    void roundTripEveryLocale();
    void reading_data();
    void reading();
    void momentsAreWallClock();
    void badMomentsRaise_data();
    void badMomentsRaise();
    void currentMomentIsWholeSecond();
    void minutesText_data();
    void minutesText();
};

void tst_Regional::generalDateText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("moment");
    QTest::addColumn<QString>("expected");

    const double pm = At(2026, 12, 5, 17, 42, 21);
    QTest::newRow("en_US") << "en_US" << pm << "12/5/2026 5:42:21 PM";
    QTest::newRow("de_DE") << "de_DE" << pm << "05.12.2026 17:42:21";
    QTest::newRow("en_GB") << "en_GB" << pm << "05/12/2026 17:42:21";
    QTest::newRow("ja_JP") << "ja_JP" << pm << QString::fromUtf8("2026/12/05 17時42分21秒");
    QTest::newRow("C") << "C" << pm << "5 Dec 2026 17:42:21";
    QTest::newRow("en_US morning") << "en_US" << At(2026, 1, 2, 9, 5, 7) << "1/2/2026 9:05:07 AM";
    QTest::newRow("en_US noon") << "en_US" << At(2026, 1, 2, 12, 0, 0) << "1/2/2026 12:00:00 PM";
    QTest::newRow("en_US midnight: date alone") << "en_US" << At(2026, 12, 5) << "12/5/2026";
    QTest::newRow("de_DE midnight: date alone") << "de_DE" << At(2026, 12, 5) << "05.12.2026";
    QTest::newRow("en_US day 0: time alone") << "en_US" << At(1899, 12, 30, 17, 42, 21) << "5:42:21 PM";
    QTest::newRow("en_US zero") << "en_US" << 0.0 << "12:00:00 AM";
    QTest::newRow("de_DE zero") << "de_DE" << 0.0 << "00:00:00";
    QTest::newRow("rounded to the second") << "de_DE" << pm + 0.4 / 86400 << "05.12.2026 17:42:21";
    QTest::newRow("rounded up to midnight") << "de_DE" << At(2026, 12, 5) - 0.3 / 86400 << "05.12.2026";
    QTest::newRow("zh_CN no time zone") << "zh_CN" << pm << "2026/12/5 17:42:21";
    QTest::newRow("es_ES no time zone") << "es_ES" << pm << "5/12/2026 17:42:21";
}

void tst_Regional::generalDateText()
{
    QFETCH(QString, locale);
    QFETCH(double, moment);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(GeneralDateText(moment), expected);
}

void tst_Regional::roundTripEveryLocale()
{
    QList<double> moments = {
        0.0,
        At(1899, 12, 30, 0, 0, 1),
        At(1899, 12, 30, 23, 59, 59),
        At(2026, 12, 5),
        At(2026, 12, 5, 12, 0, 0),
        At(2026, 12, 5, 0, 0, 1),
        At(2026, 12, 5, 23, 59, 59),
        At(2000, 2, 29, 11, 59, 59),
        At(1930, 1, 1, 1, 1, 1),
        At(2029, 12, 31, 13, 0, 0),
        At(100, 1, 1, 6, 0, 0),
        At(9999, 12, 31, 23, 59, 59),
        At(1800, 6, 15, 18, 30, 0),
        At(2026, 3, 8, 2, 30, 0), // a local time that a daylight-saving change skips
    };
    QRandomGenerator rng(20261206);
    for (int i = 0; i < 300; ++i) {
        const qint64 day = rng.bounded(-600000, 2900000);
        const qint64 sec = rng.bounded(0, 86400);
        moments << static_cast<double>(day) + static_cast<double>(sec) / 86400.0;
    }
    for (const QString& name : kLocales) {
        QLocale::setDefault(QLocale(name));
        for (double m : moments) {
            const QString text = GeneralDateText(m);
            const auto back = ReadDateText(text);
            if (!back || Seconds(*back) != Seconds(m))
                QFAIL(qPrintable(QStringLiteral("%1: \"%2\" does not read back as %3").arg(name, text).arg(m, 0, 'f', 8)));
        }
    }
}

void tst_Regional::reading_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("expected");

    const double none = 0;
    // Accepted notations.
    QTest::newRow("us date time") << "en_US" << "12/5/2026 5:42:21 PM" << true << At(2026, 12, 5, 17, 42, 21);
    QTest::newRow("us lower-case pm") << "en_US" << "12/5/2026 5:42:21 pm" << true << At(2026, 12, 5, 17, 42, 21);
    QTest::newRow("us no seconds") << "en_US" << "12/5/2026 5:42 PM" << true << At(2026, 12, 5, 17, 42);
    QTest::newRow("us 24-hour as typed") << "en_US" << "5/12/2026 10:30:00" << true << At(2026, 5, 12, 10, 30);
    QTest::newRow("us padded") << "en_US" << "05/09/2026 09:00:00 AM" << true << At(2026, 5, 9, 9);
    QTest::newRow("us 12 AM is midnight") << "en_US" << "1/1/2026 12:00:00 AM" << true << At(2026, 1, 1);
    QTest::newRow("us date alone") << "en_US" << "12/5/2026" << true << At(2026, 12, 5);
    QTest::newRow("us time alone") << "en_US" << "9:00" << true << At(1899, 12, 30, 9);
    QTest::newRow("us two-digit year 29") << "en_US" << "1/1/29" << true << At(2029, 1, 1);
    QTest::newRow("us two-digit year 30") << "en_US" << "1/1/30" << true << At(1930, 1, 1);
    QTest::newRow("us leap day of 00") << "en_US" << "2/29/00" << true << At(2000, 2, 29);
    QTest::newRow("de short") << "de_DE" << "5.12.2026 17:42" << true << At(2026, 12, 5, 17, 42);
    QTest::newRow("de two-digit year") << "de_DE" << "05.12.26 17:42:21" << true << At(2026, 12, 5, 17, 42, 21);
    QTest::newRow("fi time alone with dots") << "fi_FI" << "17.42.21" << true << At(1899, 12, 30, 17, 42, 21);
    QTest::newRow("ja no seconds") << "ja_JP" << QString::fromUtf8("2026/12/05 17時42分") << true << At(2026, 12, 5, 17, 42);
    QTest::newRow("ja colon time") << "ja_JP" << "2026/12/05 17:42" << true << At(2026, 12, 5, 17, 42);
    QTest::newRow("C month name") << "C" << "5 Dec 2026 17:42:21" << true << At(2026, 12, 5, 17, 42, 21);
    // Refused: nothing, something left over, impossible values, another region's notation.
    QTest::newRow("empty") << "en_US" << "" << false << none;
    QTest::newRow("blank") << "en_US" << " " << false << none;
    QTest::newRow("leading blank") << "en_US" << " 12/5/2026" << false << none;
    QTest::newRow("trailing blank") << "en_US" << "12/5/2026 " << false << none;
    QTest::newRow("trailing text") << "en_US" << "12/5/2026 5:42:21 PM x" << false << none;
    QTest::newRow("word") << "en_US" << "yesterday" << false << none;
    QTest::newRow("month 13") << "en_US" << "13/1/2026" << false << none;
    QTest::newRow("30 February") << "en_US" << "2/30/2026" << false << none;
    QTest::newRow("hour 25") << "en_US" << "12/5/2026 25:00" << false << none;
    QTest::newRow("13 PM") << "en_US" << "12/5/2026 13:00 PM" << false << none;
    QTest::newRow("minute 60") << "en_US" << "12/5/2026 5:60" << false << none;
    QTest::newRow("three-digit year") << "en_US" << "12/5/202" << false << none;
    QTest::newRow("no year") << "en_US" << "12/5" << false << none;
    QTest::newRow("us text under de") << "de_DE" << "12/5/2026" << false << none;
    QTest::newRow("a # mark") << "en_US" << "#12/5/2026#" << false << none;
    QTest::newRow("quote") << "en_US" << "12/5/2026'" << false << none;
}

void tst_Regional::reading()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, expected);
    QLocale::setDefault(QLocale(locale));
    const auto moment = ReadDateText(text);
    QCOMPARE(moment.has_value(), valid);
    if (valid)
        QCOMPARE(Seconds(*moment), Seconds(expected));
}

void tst_Regional::momentsAreWallClock()
{
    // Under a zone with daylight saving, the skipped and the doubled hour keep their wall time.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "America/New_York");
    tzset();
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    const double gap = At(2026, 3, 8, 2, 30, 0);
    const double fold = At(2026, 11, 1, 1, 30, 0);
    QCOMPARE(GeneralDateText(gap), QStringLiteral("3/8/2026 2:30:00 AM"));
    QCOMPARE(GeneralDateText(fold), QStringLiteral("11/1/2026 1:30:00 AM"));
    // A day across the change is still one day long.
    QCOMPARE(Seconds(At(2026, 3, 9) - At(2026, 3, 8)), 86400);
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
}

void tst_Regional::badMomentsRaise_data()
{
    QTest::addColumn<double>("moment");
    QTest::newRow("not a number") << std::nan("");
    QTest::newRow("infinite") << HUGE_VAL;
    QTest::newRow("after 9999") << At(9999, 12, 31) + 1.0;
    QTest::newRow("before 100") << At(100, 1, 1) - 1.0;
}

void tst_Regional::badMomentsRaise()
{
    QFETCH(double, moment);
    QVERIFY_THROWS_EXCEPTION(AppError, GeneralDateText(moment));
}

void tst_Regional::currentMomentIsWholeSecond()
{
    const double now = CurrentMoment();
    QCOMPARE(static_cast<double>(Seconds(now)), std::round(now * 86400.0));
    QVERIFY(std::fabs(now * 86400.0 - static_cast<double>(Seconds(now))) < 1e-3);
    const QDateTime local = QDateTime::currentDateTime();
    QVERIFY(std::fabs(now - MomentFromDateTime(local.date(), local.time())) < 5.0 / 86400);
}

void tst_Regional::minutesText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("minutes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("whole") << "en_US" << 90.0 << "90";
    QTest::newRow("from 0.0625 days") << "en_US" << 0.0625 * 1440 << "90";
    QTest::newRow("half") << "en_US" << 90.5 << "90.5";
    QTest::newRow("zero") << "en_US" << 0.0 << "0";
    QTest::newRow("tie to even down") << "en_US" << 0.25 << "0.2";
    QTest::newRow("tie to even up") << "en_US" << 0.75 << "0.8";
    QTest::newRow("tiny negative is 0") << "en_US" << -0.01 << "0";
    QTest::newRow("negative") << "en_US" << -12.5 << "-12.5";
    QTest::newRow("no grouping") << "en_US" << 1234567.0 << "1234567";
    QTest::newRow("rounded away to whole") << "en_US" << 89.96 << "90";
    QTest::newRow("de comma") << "de_DE" << 90.5 << "90,5";
    QTest::newRow("de no grouping") << "de_DE" << 1234567.5 << "1234567,5";
    QTest::newRow("ja") << "ja_JP" << 720.0 << "720";
    QTest::newRow("C") << "C" << 3.14159 << "3.1";
    QTest::newRow("en_GB") << "en_GB" << 1500.25 << "1500.2";
}

void tst_Regional::minutesText()
{
    QFETCH(QString, locale);
    QFETCH(double, minutes);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(MinutesText(minutes), expected);
}

QTEST_GUILESS_MAIN(tst_Regional)
#include "tst_Regional.moc"
