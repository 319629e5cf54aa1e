#include "TestDb.h"

#include "platform/AppError.h"
#include "platform/Regional.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <ctime>

namespace {

// Regions whose formats differ: digits, names, the order of fields, the clock, time zones.
const QStringList kLocales = QStringLiteral("en_US en_GB de_DE ja_JP C fr_FR ko_KR zh_CN ar_EG fa_IR fi_FI bg_BG sq_AL "
                                            "es_ES th_TH hu_HU he_IL da_DK nl_NL hi_IN")
                                 .split(u' ');

qint64 Seconds(double moment)
{
    return std::llround(moment * 86400.0);
}

// While alive, the program's region is the named locale; the one before comes back after.
class RegionScope
{
public:
    explicit RegionScope(const QString& name) { QLocale::setDefault(QLocale(name)); }
    ~RegionScope() { QLocale::setDefault(previous_); }

private:
    const QLocale previous_;
};

} // namespace

class tst_Regional : public QObject
{
    Q_OBJECT

private slots:
    void generalDateTexts_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("moment");
        QTest::addColumn<QString>("expected");
        const double pm = At(2026, 12, 5, 17, 42, 21);
        QTest::newRow("en_US") << "en_US" << pm << "12/5/2026 5:42:21 PM";
        QTest::newRow("de_DE") << "de_DE" << pm << "05.12.2026 17:42:21";
        QTest::newRow("ja_JP") << "ja_JP" << pm << QString::fromUtf8("2026/12/05 17時42分21秒");
        QTest::newRow("C") << "C" << pm << "5 Dec 2026 17:42:21";
        QTest::newRow("zh_CN no time zone") << "zh_CN" << pm << "2026/12/5 17:42:21";
        QTest::newRow("fa_IR digits, no zone") << "fa_IR" << pm << QString::fromUtf8("۲۰۲۶/۱۲/۵ ۱۷:۴۲:۲۱");
        QTest::newRow("midnight: date alone") << "en_US" << At(2026, 12, 5) << "12/5/2026";
        QTest::newRow("day 0: time alone") << "en_US" << At(1899, 12, 30, 17, 42, 21) << "5:42:21 PM";
        QTest::newRow("rounded up to midnight") << "de_DE" << At(2026, 12, 5) - 0.3 / 86400 << "05.12.2026";
    }

    void generalDateTexts()
    {
        QFETCH(QString, locale);
        QFETCH(double, moment);
        QFETCH(QString, expected);
        const RegionScope region(locale);
        QCOMPARE(GeneralDateText(moment), expected);
    }

    // Minutes as the main window shows them: tenths, ties to the even digit, the regional
    // decimal separator and no grouping.
    void minutesTexts()
    {
        QCOMPARE(MinutesText(0.25, QLocale::c()), QStringLiteral("0.2"));
        QCOMPARE(MinutesText(0.75, QLocale::c()), QStringLiteral("0.8"));
        QCOMPARE(MinutesText(1234567.5, QLocale(QLocale::German)), QStringLiteral("1234567,5"));
    }

    // Every moment's general date text reads back as the same moment, in many regions.
    void roundTripEveryLocale()
    {
        // Day 0, midnight, noon, a second past midnight, the first and the last year.
        QList<double> moments;
        moments << 0.0 << At(1899, 12, 30, 23, 59, 59) << At(2026, 12, 5) << At(2026, 12, 5, 12, 0, 0)
                << At(2026, 12, 5, 0, 0, 1) << At(100, 1, 1, 6, 0, 0) << At(9999, 12, 31, 23, 59, 59);
        QRandomGenerator rng(20261206);
        for (int i = 0; i < 300; ++i)
            moments << static_cast<double>(rng.bounded(-600000, 2900000))
                    + static_cast<double>(rng.bounded(0, 86400)) / 86400.0;
        for (const QString& name : kLocales) {
            const RegionScope region(name);
            for (double m : moments) {
                const QString text = GeneralDateText(m);
                const auto back = ReadDateText(text);
                if (!back || Seconds(*back) != Seconds(m))
                    QFAIL(qPrintable(
                        QStringLiteral("%1: \"%2\" does not read back as %3").arg(name, text).arg(m, 0, 'f', 8)));
            }
        }
    }

    void reading_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        const auto row = [](const char* tag, const char* locale, const char* text, double expected) {
            QTest::newRow(tag) << QString::fromLatin1(locale) << QString::fromUtf8(text) << expected;
        };
        row("lower-case pm, no seconds", "en_US", "12/5/2026 5:42 pm", At(2026, 12, 5, 17, 42));
        row("24-hour as typed", "en_US", "5/12/2026 17:30:00", At(2026, 5, 12, 17, 30));
        row("two-digit year 29", "en_US", "1/1/29", At(2029, 1, 1));
        row("two-digit year 30", "en_US", "1/1/30", At(1930, 1, 1));
        row("ja no seconds", "ja_JP", "2026/12/05 17時42分", At(2026, 12, 5, 17, 42));
        row("ja colon time", "ja_JP", "2026/12/05 17:42", At(2026, 12, 5, 17, 42));
        row("blanks around, PM", "en_US", "  12/5/2026 5:42 PM ", At(2026, 12, 5, 17, 42));
    }

    void reading()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(double, expected);
        const RegionScope region(locale);
        const auto moment = ReadDateText(text);
        QVERIFY(moment);
        QCOMPARE(Seconds(*moment), Seconds(expected));
    }

    // Nothing, something left over, impossible values.
    void refusedTexts()
    {
        const RegionScope region(QStringLiteral("en_US"));
        for (const char* text :
             {"", " ", "12/5/2026 5:42:21 PM x", "yesterday", "13/1/2026", "2/30/2026", "12/5/2026 25:00",
              "12/5/2026 13:00 PM", "12/5/2026 5:60", "12/5/202", "1/1/0099", "12/5", "#12/5/2026#", "12/5/2026'"})
            QVERIFY2(!ReadDateText(QString::fromLatin1(text)), text);
    }

    // Under a zone with daylight saving, the skipped and the doubled hour keep their wall time.
    void momentsAreWallClock()
    {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "America/New_York");
        tzset();
        const auto zoneBack = qScopeGuard([&] {
            zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
            tzset();
        });
        const RegionScope region(QStringLiteral("en_US"));
        QCOMPARE(GeneralDateText(At(2026, 3, 8, 2, 30, 0)), QStringLiteral("3/8/2026 2:30:00 AM"));
        QCOMPARE(GeneralDateText(At(2026, 11, 1, 1, 30, 0)), QStringLiteral("11/1/2026 1:30:00 AM"));
        QCOMPARE(Seconds(At(2026, 3, 9) - At(2026, 3, 8)), 86400);
    }

    void badMomentsAndNow()
    {
        for (double bad : {std::nan(""), HUGE_VAL, At(9999, 12, 31) + 1.0, At(100, 1, 1) - 1.0})
            QVERIFY_THROWS_EXCEPTION(AppError, GeneralDateText(bad));
        // Now is truncated to the whole second.
        const double now = CurrentMoment();
        QVERIFY(std::fabs(now * 86400.0 - static_cast<double>(Seconds(now))) < 1e-3);
        const QDateTime local = QDateTime::currentDateTime();
        QVERIFY(std::fabs(now - MomentFromDateTime(local.date(), local.time())) < 5.0 / 86400);
    }
};

QTEST_GUILESS_MAIN(tst_Regional)
#include "tst_Regional.moc"
