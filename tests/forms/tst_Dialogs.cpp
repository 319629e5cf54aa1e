#include "FormFixture.h"
#include "ModalAnswers.h"
#include "TestDb.h"

#include "forms/frmAddProject.h"
#include "forms/frmProjectDetails.h"
#include "forms/frmTimePeriod.h"
#include "platform/Regional.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

// The project details dialog, the time period editor and the new project dialog, opened from
// the main window's list.
class tst_Dialogs : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempDatabase> db;
    qint64 alpha = 0, first = 0, midnight = 0;
    const QString reload = "SELECT * FROM qryProject ORDER BY Name";
    QString periods() const { return QString("SELECT * FROM tblTimePeriod WHERE ProjectID=%1 ORDER BY StartTime").arg(alpha); }

    static ListView& list() { return *frmProjectDetails().lstTimePeriods; }
    static void type(const QString& start, const QString& end)
    {
        frmTimePeriod().txtStartTime->setText(start);
        frmTimePeriod().txtEndTime->setText(end);
    }
    // Runs a command of the main window (Alpha selected) and returns the statements it sent.
    static QStringList run(QPushButton* command)
    {
        StatementLog log;
        command->click();
        return log.statements();
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale("en_US"));
        db = std::make_unique<TempDatabase>();
        alpha = db->insertProject("Alpha", "Two\nlines");
        midnight = db->insertPeriod(alpha, MomentFromDateTime({2026, 5, 13}, {0, 0}), MomentFromDateTime({2026, 5, 13}, {1, 0}));
        first = db->insertPeriod(alpha, MomentFromDateTime({2026, 5, 12}, {9, 0}), MomentFromDateTime({2026, 5, 12}, {10, 30}));
        LoadProjects();
        FillProjectList();
        SelectID(*frmMain().lstProject, alpha);
    }
    void cleanup()
    {
        UnloadWindows();
        db.reset();
    }

    // Modify (by a double-click), New and Delete in one showing; the main window's entry stays
    // selected throughout.
    void changeByHandRoad()
    {
        ModalAnswers answers;
        answers.then([this](QWidget*) {
            QCOMPARE(frmProjectDetails().lblDescription->text(), "Two\nlines");
            QCOMPARE(list().topLevelItem(0)->text(0) + '|' + list().topLevelItem(0)->text(1), "5/12/2026 9:00:00 AM|5/12/2026 10:30:00 AM");
            QCOMPARE(list().topLevelItem(1)->text(0), "5/13/2026");
            SelectID(list(), first);
            QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, {100, 150}); // as Modify
            QCOMPARE(frmMain().lstProject->topLevelItem(0)->text(1), "180");
            frmProjectDetails().cmdNewTimePeriod->click();
            SelectID(list(), midnight);
            frmProjectDetails().cmdDeleteTimePeriod->click();
            QCOMPARE(frmMain().lstProject->SelectedItem(), frmMain().lstProject->topLevelItem(0));
            frmProjectDetails().cmdOK->click();
        });
        answers.then([this](QWidget*) {
            QCOMPARE(frmTimePeriod().Tag, QString("MOD%1").arg(first));
            QCOMPARE(frmTimePeriod().txtStartTime->text(), "5/12/2026 9:00:00 AM");
            frmTimePeriod().txtEndTime->setText("5/12/2026 11:00:00 AM");
            frmTimePeriod().cmdSave->click();
        });
        answers.then([](QWidget*) {
            QCOMPARE(frmTimePeriod().Tag, "NEW");
            QCOMPARE(frmTimePeriod().txtStartTime->text() + frmTimePeriod().txtEndTime->text(), QString());
            type("5/15/2026 8:00", "9:00 AM");
            frmTimePeriod().cmdSave->click();
        });
        const QStringList refresh{periods(), reload};
        QCOMPARE(run(frmMain().cmdViewDetail),
                 QStringList{periods()}
                     << QString("UPDATE tblTimePeriod SET StartTime=#5/12/2026 9:00:00 AM#, EndTime=#5/12/2026 11:00:00 AM# "
                                "WHERE TimePeriodID=%1").arg(first)
                     << refresh
                     << QString("INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(%1,#5/15/2026 8:00#,#9:00 AM#)").arg(alpha)
                     << refresh << QString("DELETE FROM tblTimePeriod WHERE TimePeriodID=%1").arg(midnight) << refresh);
        QVERIFY(answers.finished());
    }

    // Nothing changed, yet the dialog refreshes, except where Modify had no period to open.
    void detailsWithoutChange_data()
    {
        QTest::addColumn<QString>("action"); // empty: a double-click on the list
        QTest::addColumn<QString>("tag");    // the editor's mode; empty: no editor
        QTest::newRow("New, closed") << "cmdNewTimePeriod" << "NEW";
        QTest::newRow("Modify, no selection") << "cmdModifyTimePeriod" << "";
        QTest::newRow("double-click, no selection") << "" << "";
        QTest::newRow("Delete, no selection") << "cmdDeleteTimePeriod" << "-";
    }
    void detailsWithoutChange()
    {
        QFETCH(QString, action);
        QFETCH(QString, tag);
        ModalAnswers answers;
        answers.then([&](QWidget*) {
            if (action.isEmpty())
                QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, {100, 150});
            else
                frmProjectDetails().findChild<QPushButton*>(action)->click();
            frmProjectDetails().cmdOK->click();
        });
        answers.then([&](QWidget* editor) {
            QCOMPARE(frmTimePeriod().Tag, tag);
            editor->close(); // as Cancel
        });
        QStringList expected{periods()};
        if (!tag.isEmpty())
            expected << periods() << reload;
        QCOMPARE(run(frmMain().cmdViewDetail), expected);
        QCOMPARE(answers.seen.size(), tag.isEmpty() || tag == "-" ? 1 : 2);
        QCOMPARE(db->scalar("SELECT COUNT(*) FROM tblTimePeriod").toInt(), 2);
    }

    // The editor takes texts that read whole as moments, and sends them as typed.
    void editorSave_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("statement"); // empty: nothing written; "refused": the message
        QTest::newRow("both empty") << "NEW" << "" << "" << "refused";
        QTest::newRow("start unreadable") << "NEW" << "soon" << "5/12/2026" << "refused";
        QTest::newRow("text left over") << "MOD1" << "5/12/2026" << "5/12/2026 10:30 AMx" << "refused";
        QTest::newRow("end before start") << "MOD1" << "5/12/2026 11:00" << "5/12/2026"
                                          << "UPDATE tblTimePeriod SET StartTime=#5/12/2026 11:00#, EndTime=#5/12/2026# WHERE TimePeriodID=";
        QTest::newRow("unknown tag") << "mod1" << "5/12/2026" << "5/13/2026" << "";
    }
    void editorSave()
    {
        QFETCH(QString, tag);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, statement);
        LoadTimePeriods(static_cast<qint32>(alpha));
        SelectID(list(), first);
        ModalAnswers answers;
        answers.then([&](QWidget*) {
            frmTimePeriod().Tag = tag;
            type(start, end);
            frmTimePeriod().cmdSave->click();
        });
        answers.then(ModalAnswers::press(QMessageBox::Ok)).then([&](QWidget*) {
            QCOMPARE(frmTimePeriod().txtStartTime->text() + '|' + frmTimePeriod().txtEndTime->text(), start + '|' + end);
            frmTimePeriod().cmdCancel->click();
        });
        StatementLog log;
        frmTimePeriod().exec();
        const bool refused = statement == "refused";
        QCOMPARE(answers.finished(), refused);
        QCOMPARE(answers.seen.value(1), refused ? "Tallyclock|You must enter valid dates|400" : QString());
        QCOMPARE(log.statements(), refused || statement.isEmpty() ? QStringList() : QStringList{statement + QString::number(first)});
    }

    // New Project: empty boxes at every opening, the texts stored as typed, the list read again.
    void addProject_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("values"); // empty: "Add" refused, the dialog left with Cancel
        QTest::newRow("empty name") << "" << "";
        QTest::newRow("one blank") << " " << "' ','Client''s\nsite'";
        QTest::newRow("apostrophe") << "It's done" << "'It''s done','Client''s\nsite'";
        QTest::newRow("cut at 50") << QString(60, 'x') << "'" + QString(50, 'x') + "','Client''s\nsite'";
    }
    void addProject()
    {
        QFETCH(QString, name);
        QFETCH(QString, values);
        ModalAnswers answers;
        answers.then([](QWidget* dialog) {
            frmAddProject().txtName->setText("left from before");
            dialog->close(); // as Cancel: nothing stored, the list read again
        });
        answers.then([&](QWidget* dialog) {
            QCOMPARE(frmAddProject().txtName->text() + frmAddProject().txtDescription->toPlainText(), QString());
            QTest::keyClicks(frmAddProject().txtName, name);
            frmAddProject().txtDescription->setPlainText("Client's\nsite");
            frmAddProject().cmdAdd->click();
            if (dialog->isVisible())
                frmAddProject().cmdCancel->click();
        });
        QCOMPARE(run(frmMain().cmdAddNew), QStringList{reload});
        const QString insert = "INSERT INTO tblProject(Name,Description) VALUES(" + values + ")";
        QCOMPARE(run(frmMain().cmdAddNew), values.isEmpty() ? QStringList({reload}) : QStringList({insert, reload, reload}));
        QVERIFY(answers.finished());
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_Dialogs.moc"
