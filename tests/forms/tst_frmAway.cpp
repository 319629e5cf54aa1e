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

// The question after an absence while timing Alpha from 9:00, its answers, and End Timer while
// it waits. Moments are given in minutes after 9:00.
class tst_frmAway : public QObject
{
    Q_OBJECT

    QTemporaryDir config;
    const QDateTime nine{QDate(2026, 12, 7), QTime(9, 0)};

    double minutes(const QString& text) const { return gStartTime + text.toDouble() / 1440; }
    void ask(const QString& absences)
    {
        for (const QString& absence : absences.split(' ', Qt::SkipEmptyParts))
            frmAway().Ask(minutes(absence.section('-', 0, 0)), minutes(absence.section('-', 1)));
    }
    QString periods(const TempDatabase& db) const
    {
        QStringList spans;
        for (const QVariantList& row : db.rows("SELECT StartTime, EndTime FROM tblTimePeriod ORDER BY StartTime"))
            spans << QString("%1-%2").arg(qRound((row[0].toDouble() - At(2026, 12, 7, 9)) * 1440))
                         .arg(qRound((row[1].toDouble() - At(2026, 12, 7, 9)) * 1440));
        return spans.join(' ');
    }

private slots:
    void initTestCase()
    {
        SetUpApplication();
        QLocale::setDefault(QLocale("en_US"));
        // The question is asked here by hand, with no watching behind it.
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        QFile settings(config.filePath("tallyclock/tallyclock.conf"));
        QVERIFY(QDir().mkpath(config.filePath("tallyclock")) && settings.open(QIODevice::WriteOnly));
        settings.write("away-detection = off\n");
    }
    void cleanup() { UnloadWindows(); }

    // Each row ends with End Timer at 180, which stores the rest of a timing still running.
    void answers_data()
    {
        QTest::addColumn<QString>("absences");
        QTest::addColumn<QString>("answer"); // a button, Escape, or none
        QTest::addColumn<QString>("periods");
        QTest::addColumn<QString>("question"); // a part of it
        QTest::newRow("keep") << "60-105" << "cmdKeep" << "0-180"
                              << "You were away from 12/7/2026 10:00:00 AM to 12/7/2026 10:45:00 AM (45 minutes) "
                                 "while timing Alpha since 12/7/2026 9:00:00 AM.";
        QTest::newRow("discard") << "60-105" << "cmdDiscard" << "0-60 105-180" << "";
        QTest::newRow("stop") << "60-105" << "cmdStop" << "0-60" << "";
        QTest::newRow("two, discarded") << "60-105 120-150" << "cmdDiscard" << "0-60 105-120 150-180"
                                        << "(45 minutes) and from 12/7/2026 11:00:00 AM to 12/7/2026 11:30:00 AM "
                                           "(30 minutes) while";
        QTest::newRow("two, stopped") << "60-105 120-150" << "cmdStop" << "0-60 105-120" << "";
        QTest::newRow("from the start, stopped") << "0-30" << "cmdStop" << "" << "";
        QTest::newRow("closed") << "60-105" << "Escape" << "0-180" << "";
        QTest::newRow("End Timer meanwhile") << "60-105" << "" << "0-180" << "";
    }
    void answers()
    {
        QFETCH(QString, absences);
        QFETCH(QString, answer);
        QFETCH(QString, periods);
        QFETCH(QString, question);
        const TempDatabase db;
        gActiveProjectID = qint32(db.insertProject("Alpha"));
        LoadProjects();
        ManualClock clock(nine);
        frmMain().mnuStartTimer->trigger();
        ask(absences);
        QVERIFY(frmAway().isVisible());
        QVERIFY(frmAway().lblQuestion->text().contains(question));
        clock.Advance(180 * 60000);
        if (answer == "Escape")
            QTest::keyClick(&frmAway(), Qt::Key_Escape);
        else if (!answer.isEmpty())
            frmAway().findChild<QPushButton*>(answer)->click();
        frmMain().mnuEndTimer->trigger();
        QCOMPARE(this->periods(db), periods);
        QVERIFY(!frmAway().isVisible());
    }

    // A period that cannot be stored keeps the timing and the question, and says so.
    void storeFails()
    {
        const TempDatabase db;
        ManualClock clock(nine);
        frmMain().mnuStartTimer->trigger();
        ask("60-105");
        QVERIFY(QFile::rename(db.path(), db.path() + ".away"));
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Ok));
        frmAway().cmdDiscard->click();
        QVERIFY(answers.finished() && frmAway().isVisible() && frmMain().mnuEndTimer->isEnabled());
        QCOMPARE(gStartTime, At(2026, 12, 7, 9));
    }
};

QTEST_MAIN(tst_frmAway)
#include "tst_frmAway.moc"
