#include "Files.h"
#include "FormFixture.h"
#include "ManualClock.h"
#include "ModalAnswers.h"
#include "TestDb.h"

#include "forms/frmAway.h"
#include "modules/modGeneral.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

// The question after an absence while timing Alpha from 9:00, asked by hand (the watching is
// turned off), its answers, and End Timer while it waits. Moments are minutes after 9:00.
class tst_frmAway : public QObject
{
    Q_OBJECT

    QTemporaryDir config;
    std::unique_ptr<TempDatabase> db;
    std::unique_ptr<ManualClock> clock;

    static void ask(const QString& absences)
    {
        for (const QString& absence : absences.split(' ', Qt::SkipEmptyParts))
            frmAway().Ask(gStartTime + absence.section('-', 0, 0).toDouble() / 1440,
                          gStartTime + absence.section('-', 1).toDouble() / 1440);
    }

private slots:
    void initTestCase()
    {
        SetUpApplication();
        QLocale::setDefault(QLocale("en_US"));
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        QVERIFY(Write(config.filePath("tallyclock/tallyclock.conf"), "away-detection = off\n"));
    }
    void init()
    {
        db = std::make_unique<TempDatabase>();
        gActiveProjectID = qint32(db->insertProject("Alpha"));
        LoadProjects();
        clock = std::make_unique<ManualClock>(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
        frmMain().mnuStartTimer->trigger();
    }
    void cleanup()
    {
        UnloadWindows();
        clock.reset();
    }

    // Each row ends with End Timer at 180, which stores the rest of a timing still running.
    void answers_data()
    {
        QTest::addColumn<QString>("absences");
        QTest::addColumn<QString>("answer"); // a button, Escape, or none
        QTest::addColumn<QString>("periods");
        // clang-format off
        QTest::newRow("keep") << "60-105" << "cmdKeep" << "0-180";
        QTest::newRow("two, discarded") << "60-105 120-150" << "cmdDiscard" << "0-60 105-120 150-180";
        QTest::newRow("two, stopped") << "60-105 120-150" << "cmdStop" << "0-60 105-120";
        QTest::newRow("from the start, stopped") << "0-30" << "cmdStop" << "0-0";
        QTest::newRow("closed") << "60-105" << "Escape" << "0-180";
        QTest::newRow("End Timer meanwhile") << "60-105" << "" << "0-180";
        // clang-format on
    }
    void answers()
    {
        QFETCH(QString, answer);
        QFETCH(QString, absences);
        ask(absences);
        QVERIFY(frmAway().isVisible());
        clock->Advance(180 * 60000);
        if (answer == "Escape")
            QTest::keyClick(&frmAway(), Qt::Key_Escape);
        else if (!answer.isEmpty())
            frmAway().findChild<QPushButton*>(answer)->click();
        frmMain().mnuEndTimer->trigger();
        QVERIFY(!frmAway().isVisible());
        QTEST(db->scalar("SELECT group_concat(m, ' ') FROM (SELECT CAST(ROUND((StartTime-46363.375)*1440) AS INT) "
                         "|| '-' || CAST(ROUND((EndTime-46363.375)*1440) AS INT) m FROM tblTimePeriod ORDER BY 1)")
                  .toString(),
              "periods");
    }

    // Two absences before an answer make one question.
    void question()
    {
        ask("60-105 120-245");
        QCOMPARE(
            frmAway().lblQuestion->text(),
            "You were away from 12/7/2026 10:00:00 AM to 12/7/2026 10:45:00 AM (45 minutes) and from 12/7/2026 "
            "11:00:00 AM to 12/7/2026 1:05:00 PM (2 hours 5 minutes) while timing Alpha since 12/7/2026 9:00:00 AM.");
    }

    // A period that cannot be stored keeps the timing and the question, and says so.
    void storeFails()
    {
        ask("60-105");
        QVERIFY(QFile::rename(db->path(), db->path() + ".away"));
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Ok));
        frmAway().cmdDiscard->click();
        QVERIFY(answers.finished() && frmAway().isVisible() && frmMain().mnuEndTimer->isEnabled());
        QCOMPARE(gStartTime, At(2026, 12, 7, 9));
    }
};

QTEST_MAIN(tst_frmAway)
#include "tst_frmAway.moc"
