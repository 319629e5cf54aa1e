#include "TestDb.h"

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

    void texts_data();
    void texts();
    void roundTripEveryLocale();
    void reading_data();
    void reading();
    void refusedTexts();
    void momentsAreWallClock();
    void badMomentsAndNow();
};

// Moments as general date text, and minutes as the main window shows them.
void tst_Regional::texts_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("moment"); // NaN: minutes instead
    QTest::addColumn<double>("minutes");
    QTest::addColumn<QString>("expected");
    const double pm = At(2026, 12, 5, 17, 42, 21);
    const double no = std::nan("");
    QTest::newRow("en_US") << "en_US" << pm << no << "12/5/2026 5:42:21 PM";
    QTest::newRow("de_DE") << "de_DE" << pm << no << "05.12.2026 17:42:21";
    QTest::newRow("en_GB") << "en_GB" << pm << no << "05/12/2026 17:42:21";
    QTest::newRow("ja_JP") << "ja_JP" << pm << no << QString::fromUtf8("2026/12/05 17時42分21秒");
    QTest::newRow("C") << "C" << pm << no << "5 Dec 2026 17:42:21";
    QTest::newRow("zh_CN no time zone") << "zh_CN" << pm << no << "2026/12/5 17:42:21";
    QTest::newRow("noon") << "en_US" << At(2026, 1, 2, 12, 0, 0) << no << "1/2/2026 12:00:00 PM";
    QTest::newRow("midnight: date alone") << "en_US" << At(2026, 12, 5) << no << "12/5/2026";
    QTest::newRow("day 0: time alone") << "en_US" << At(1899, 12, 30, 17, 42, 21) << no << "5:42:21 PM";
    QTest::newRow("zero") << "de_DE" << 0.0 << no << "00:00:00";
    QTest::newRow("rounded up to midnight") << "de_DE" << At(2026, 12, 5) - 0.3 / 86400 << no << "05.12.2026";
    QTest::newRow("from 0.0625 days") << "en_US" << no << 0.0625 * 1440 << "90";
    QTest::newRow("half") << "en_US" << no << 90.5 << "90.5";
    QTest::newRow("tie to even down") << "en_US" << no << 0.25 << "0.2";
    QTest::newRow("tie to even up") << "en_US" << no << 0.75 << "0.8";
    QTest::newRow("tiny negative is 0") << "en_US" << no << -0.01 << "0";
    QTest::newRow("de comma, no grouping") << "de_DE" << no << 1234567.5 << "1234567,5";
}

void tst_Regional::texts()
{
    QFETCH(QString, locale);
    QFETCH(double, moment);
    QFETCH(double, minutes);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(std::isnan(moment) ? MinutesText(minutes) : GeneralDateText(moment), expected);
}

void tst_Regional::roundTripEveryLocale()
{
    QList<double> moments = {0.0,
                             At(1899, 12, 30, 23, 59, 59),
                             At(2026, 12, 5),
                             At(2026, 12, 5, 12, 0, 0),
                             At(2026, 12, 5, 0, 0, 1),
                             At(2000, 2, 29, 11, 59, 59),
                             At(1930, 1, 1, 1, 1, 1),
                             At(2029, 12, 31, 13, 0, 0),
                             At(100, 1, 1, 6, 0, 0),
                             At(9999, 12, 31, 23, 59, 59)};
    QRandomGenerator rng(20261206);
    for (int i = 0; i < 300; ++i)
        moments << static_cast<double>(rng.bounded(-600000, 2900000))
                + static_cast<double>(rng.bounded(0, 86400)) / 86400.0;
    for (const QString& name : kLocales) {
        QLocale::setDefault(QLocale(name));
        for (double m : moments) {
            const QString text = GeneralDateText(m);
            const auto back = ReadDateText(text);
            if (!back || Seconds(*back) != Seconds(m))
                QFAIL(qPrintable(
                    QStringLiteral("%1: \"%2\" does not read back as %3").arg(name, text).arg(m, 0, 'f', 8)));
        }
    }
}

void tst_Regional::reading_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("lower-case pm, no seconds") << "en_US"
                                               << "12/5/2026 5:42 pm" << At(2026, 12, 5, 17, 42);
    QTest::newRow("24-hour as typed") << "en_US"
                                      << "5/12/2026 10:30:00" << At(2026, 5, 12, 10, 30);
    QTest::newRow("padded") << "en_US"
                            << "05/09/2026 09:00:00 AM" << At(2026, 5, 9, 9);
    QTest::newRow("12 AM is midnight") << "en_US"
                                       << "1/1/2026 12:00:00 AM" << At(2026, 1, 1);
    QTest::newRow("time alone") << "en_US"
                                << "9:00" << At(1899, 12, 30, 9);
    QTest::newRow("two-digit year 29") << "en_US"
                                       << "1/1/29" << At(2029, 1, 1);
    QTest::newRow("two-digit year 30") << "en_US"
                                       << "1/1/30" << At(1930, 1, 1);
    QTest::newRow("leap day of 00") << "en_US"
                                    << "2/29/00" << At(2000, 2, 29);
    QTest::newRow("de short") << "de_DE"
                              << "5.12.26 17:42" << At(2026, 12, 5, 17, 42);
    QTest::newRow("fi time alone with dots") << "fi_FI"
                                             << "17.42.21" << At(1899, 12, 30, 17, 42, 21);
    QTest::newRow("ja no seconds") << "ja_JP" << QString::fromUtf8("2026/12/05 17時42分") << At(2026, 12, 5, 17, 42);
    QTest::newRow("ja colon time") << "ja_JP"
                                   << "2026/12/05 17:42" << At(2026, 12, 5, 17, 42);
    QTest::newRow("blanks around, PM") << "en_US"
                                       << "  12/5/2026 5:42 PM " << At(2026, 12, 5, 17, 42);
    QTest::newRow("blanks around, 24-hour") << "de_DE"
                                            << "\t5.12.26 17:42 " << At(2026, 12, 5, 17, 42);
}

void tst_Regional::reading()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(double, expected);
    QLocale::setDefault(QLocale(locale));
    const auto moment = ReadDateText(text);
    QVERIFY(moment);
    QCOMPARE(Seconds(*moment), Seconds(expected));
}

// Nothing, something left over, impossible values, another region's notation.
void tst_Regional::refusedTexts()
{
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    for (const char* text :
         {"", " ", "12/5/2026 5:42:21 PM x", "yesterday", "13/1/2026", "2/30/2026", "12/5/2026 25:00",
          "12/5/2026 13:00 PM", "12/5/2026 5:60", "12/5/202", "12/5", "#12/5/2026#", "12/5/2026'"})
        QVERIFY2(!ReadDateText(QString::fromLatin1(text)), text);
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    QVERIFY(!ReadDateText(QStringLiteral("12/5/2026")));
}

void tst_Regional::momentsAreWallClock()
{
    // Under a zone with daylight saving, the skipped and the doubled hour keep their wall time.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "America/New_York");
    tzset();
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    QCOMPARE(GeneralDateText(At(2026, 3, 8, 2, 30, 0)), QStringLiteral("3/8/2026 2:30:00 AM"));
    QCOMPARE(GeneralDateText(At(2026, 11, 1, 1, 30, 0)), QStringLiteral("11/1/2026 1:30:00 AM"));
    QCOMPARE(Seconds(At(2026, 3, 9) - At(2026, 3, 8)), 86400);
    oldTz.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldTz);
    tzset();
}

void tst_Regional::badMomentsAndNow()
{
    for (double bad : {std::nan(""), HUGE_VAL, At(9999, 12, 31) + 1.0, At(100, 1, 1) - 1.0})
        QVERIFY_THROWS_EXCEPTION(AppError, GeneralDateText(bad));
    // Now is truncated to the whole second.
    const double now = CurrentMoment();
    QVERIFY(std::fabs(now * 86400.0 - static_cast<double>(Seconds(now))) < 1e-3);
    const QDateTime local = QDateTime::currentDateTime();
    QVERIFY(std::fabs(now - MomentFromDateTime(local.date(), local.time())) < 5.0 / 86400);
}

QTEST_GUILESS_MAIN(tst_Regional)
#include "tst_Regional.moc"
