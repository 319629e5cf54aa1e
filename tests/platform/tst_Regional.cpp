#include "TestDb.h"

#include "platform/AppError.h"
#include "platform/Regional.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <ctime>

namespace {

qint64 Seconds(double moment)
{
    return std::llround(moment * 86400.0);
}

} // namespace

class tst_Regional : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "America/New_York"); // daylight saving: a conversion through UTC would show
        tzset();
    }

    // The cases of regional-texts.txt, whose head tells their format.
    void texts_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("moment"); // NaN where the text is refused
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("text");
        QFile file(TEST_DATA_DIR "/regional-texts.txt");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QRegularExpression row(QStringLiteral(R"re(^(\S+) +(\S+(?: \S+)?) +([=<]) "(.*)"$)re"));
        int number = 0;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            const QRegularExpressionMatch m = row.match(line);
            ++number;
            QVERIFY2(m.hasMatch() || line.isEmpty() || line.startsWith(u'#'), qPrintable(line));
            const QStringList at = m.captured(2).split(u' ');
            const QTime time = QTime::fromString(at.value(1), Qt::ISODateWithMs);
            const double moment = MomentFromDateTime(QDate::fromString(at[0], Qt::ISODate), time)
                + time.msec() / 86400000.0;
            if (m.hasMatch())
                QTest::addRow("line %d", number) << m.captured(1) << (at[0] == "-" ? std::nan("") : moment)
                                                 << (m.captured(3) == "=") << m.captured(4);
        }
    }
    void texts()
    {
        QFETCH(QString, locale);
        QFETCH(double, moment);
        QFETCH(bool, written);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(locale));
        if (written)
            QCOMPARE(GeneralDateText(moment), text);
        const auto back = ReadDateText(text);
        QCOMPARE(back.has_value(), !std::isnan(moment));
        QVERIFY(!back || Seconds(*back) == Seconds(moment));
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
        for (const QString& name : QStringLiteral("en_US en_GB de_DE ja_JP C fr_FR ko_KR zh_CN ar_EG fa_IR fi_FI bg_BG "
                                                  "sq_AL es_ES th_TH hu_HU he_IL da_DK nl_NL hi_IN")
                                       .split(u' ')) {
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

    // Minutes as the main window shows them: tenths, ties to the even digit, the regional
    // decimal separator and no grouping.
    void minutesTexts()
    {
        QCOMPARE(MinutesText(0.25, QLocale::c()), QStringLiteral("0.2"));
        QCOMPARE(MinutesText(0.75, QLocale::c()), QStringLiteral("0.8"));
        QCOMPARE(MinutesText(1234567.5, QLocale(QLocale::German)), QStringLiteral("1234567,5"));
    }

    void badMoments()
    {
        for (double bad : {std::nan(""), HUGE_VAL, At(9999, 12, 31) + 1.0, At(100, 1, 1) - 1.0})
            QVERIFY_THROWS_EXCEPTION(AppError, GeneralDateText(bad));
    }
};

QTEST_GUILESS_MAIN(tst_Regional)
#include "tst_Regional.moc"
