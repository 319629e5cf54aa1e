#include "FormFixture.h"
#include "ModalAnswers.h"
#include "TestDb.h"

#include "forms/frmAddProject.h"
#include "forms/frmProjectDetails.h"
#include "forms/frmTimePeriod.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>

using Action = std::function<void()>;
Q_DECLARE_METATYPE(Action)

// The project details dialog, the time period editor and the new project dialog, opened from
// the main window's list, and every statement the program sends.
class tst_Dialogs : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempDatabase> db;
    qint64 alpha = 0, first = 0, midnight = 0;

    static ListView& list() { return *frmProjectDetails().lstTimePeriods; }
    static QString typed() { return frmTimePeriod().txtStartTime->text() + '|' + frmTimePeriod().txtEndTime->text(); }
    // In the editor as the details dialog opened it, or as the tag says.
    static void save(const QString& start, const QString& end, const char* tag = nullptr)
    {
        if (tag)
            frmTimePeriod().Tag = tag;
        frmTimePeriod().txtStartTime->setText(start);
        frmTimePeriod().txtEndTime->setText(end);
        frmTimePeriod().cmdSave->click();
    }

private slots:
    void initTestCase() { SetUpApplication(); }
    void init()
    {
        QLocale::setDefault(QLocale("en_US"));
        db = std::make_unique<TempDatabase>();
        alpha = db->insertProject("Alpha", "Two\nlines");
        midnight = db->insertPeriod(alpha, At(2026, 5, 13), At(2026, 5, 13, 1));
        first = db->insertPeriod(alpha, At(2026, 5, 12, 9), At(2026, 5, 12, 10, 30));
        LoadProjects();
        FillProjectList();
        SelectID(*frmMain().lstProject, alpha);
    }
    void cleanup()
    {
        UnloadWindows();
        db.reset();
    }

    // Each statement as sent, the typed moments as typed. Project 1 is Alpha, its period 2 the one
    // at 9:00, which the details dialog has selected.
    void statementTexts_data()
    {
        QTest::addColumn<Action>("send");
        QTest::addColumn<QString>("sent"); // one after the other, "|" between
        // clang-format off
        QTest::newRow("load the projects") << Action(LoadProjects) << "SELECT * FROM qryProject ORDER BY Name";
        QTest::newRow("list a project's periods") << Action([] { LoadTimePeriods(1); }) << "SELECT * FROM tblTimePeriod WHERE ProjectID=1 ORDER BY StartTime";
        QTest::newRow("add a project") << Action([] { AddProjectRecord("Client's site", ""); }) << "INSERT INTO tblProject(Name,Description) VALUES('Client''s site',' ')";
        QTest::newRow("store a timing") << Action([] { AddTimePeriodRecord(7, At(2026, 12, 5, 17, 42, 21), At(2026, 12, 6)); }) << "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(7,#12/5/2026 5:42:21 PM#,#12/6/2026#)";
        QTest::newRow("add a typed period") << Action([] { save("8:00", "9:00 AM", "NEW"); }) << "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(1,#8:00#,#9:00 AM#)";
        QTest::newRow("change a period") << Action([] { save("5/12/2026 9:00:00 AM", "5/12/2026 11:00 AM", "MOD"); }) << "UPDATE tblTimePeriod SET StartTime=#5/12/2026 9:00:00 AM#, EndTime=#5/12/2026 11:00 AM# WHERE TimePeriodID=2";
        QTest::newRow("delete a period") << Action([] { frmProjectDetails().cmdDeleteTimePeriod->click(); }) << "DELETE FROM tblTimePeriod WHERE TimePeriodID=2";
        QTest::newRow("delete a project") << Action([] { DeleteProjectRecord(1); }) << "BeginTrans|DELETE FROM tblTimePeriod WHERE ProjectID=1|DELETE FROM tblProject WHERE ProjectID=1|CommitTrans";
        // clang-format on
    }
    void statementTexts()
    {
        QFETCH(Action, send);
        QFETCH(QString, sent);
        LoadTimePeriods(qint32(alpha));
        SelectID(list(), first);
        ModalAnswers failures; // a failure's message is closed, not waited on
        StatementLog log;
        send();
        // What the action sends, before it reads a list again.
        QCOMPARE(log.statements().join('|').section("|SELECT", 0, 0), sent);
    }

    // With no period selected, Modify opens nothing and Delete deletes nothing. A double-click
    // modifies the selected period, its texts as shown; Delete deletes the selected one; New opens
    // empty boxes. Only texts that read whole as moments, the end not before the start, are
    // taken; each refusal is shown, and the texts stay. The main window's entry stays selected as
    // its list is read again, and its total follows.
    void periods()
    {
        ModalAnswers answers;
        answers.then([this](QWidget* details) {
            QCOMPARE(frmProjectDetails().lblProject->text() + '|' + frmProjectDetails().lblDescription->text(),
                     "Alpha|Two\nlines");
            frmProjectDetails().cmdModifyTimePeriod->click();
            frmProjectDetails().cmdDeleteTimePeriod->click();
            SelectID(list(), first);
            QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, {100, 150});
            QCOMPARE(frmMain().lstProject->topLevelItem(0)->text(1), "180");
            SelectID(list(), midnight);
            frmProjectDetails().cmdDeleteTimePeriod->click();
            QCOMPARE(list().topLevelItemCount(), 1);
            QCOMPARE(frmMain().lstProject->SelectedItem(), frmMain().lstProject->topLevelItem(0));
            frmProjectDetails().cmdNewTimePeriod->click();
            details->close();
        });
        answers.then([](QWidget*) {
            QCOMPARE(typed(), "5/12/2026 9:00:00 AM|5/12/2026 10:30:00 AM");
            save("5/12/2026 9:00:00 AM", "5/12/2026 11:00 AM");
        });
        answers.then([](QWidget* editor) {
            QCOMPARE(typed(), "|");
            const std::pair<QString, QString> refused[] = {
                {"soon", "5/12/2026"}, {"5/12/2026", "10:30 AMx"}, {"5/12/2026 9:00", "5/12/2026 8:59:59"}};
            for (const auto& [start, end] : refused) {
                save(start, end);
                QVERIFY(editor->isVisible() && typed() == start + '|' + end);
            }
            save("8:00", "9:00 AM");
        });
        for (int i = 0; i < 3; ++i)
            answers.then(ModalAnswers::press(QMessageBox::Ok));
        frmMain().cmdViewDetail->click();
        const QString invalid = "Tallyclock|You must enter valid dates|400";
        QCOMPARE(answers.seen,
                 QStringList({"frmProjectDetails", "frmTimePeriod", "frmTimePeriod", invalid, invalid,
                              "Tallyclock|The end must not be before the start.|400"}));
        QVERIFY(answers.finished());
        QCOMPARE(db->scalar("SELECT group_concat(TimePeriodID) FROM tblTimePeriod"), QString("%1,3").arg(first));
    }

    // New Project opens with empty boxes; without a name it stores nothing; else the texts as
    // typed, the name cut at 50 characters, never within one. The list is read again.
    void addProject()
    {
        const auto add = [](const QString& name) {
            return [name](QWidget* dialog) {
                QCOMPARE(frmAddProject().txtName->text() + frmAddProject().txtDescription->toPlainText(), QString());
                frmAddProject().txtName->insert(name); // as typed or pasted
                frmAddProject().txtDescription->setPlainText("\nsite");
                frmAddProject().cmdAdd->click();
                QCOMPARE(dialog->isVisible(), name.isEmpty());
                frmAddProject().cmdCancel->click();
            };
        };
        ModalAnswers answers;
        answers.then(add(QString(60, 'x'))).then(add("")).then(add(" ")).then(add(QString(49, 'y') + "\U0001F600z"));
        for (int i = 0; i < 4; ++i)
            frmMain().cmdAddNew->click();
        QVERIFY(answers.finished());
        const QString names = db->scalar("SELECT group_concat(Name || Description, '|') FROM tblProject").toString();
        QCOMPARE(names, "AlphaTwo\nlines|" + QString(50, 'x') + "\nsite| \nsite|" + QString(49, 'y') + "\nsite");
        QCOMPARE(frmMain().lstProject->topLevelItemCount(), 4);
    }

    // The layouts' font; no window maximises and only the main window minimises; a dialog
    // minimised by the window manager comes straight back, as the window beneath waits on it.
    // A long description wraps.
    void oneLook()
    {
        QCOMPARE(QApplication::font().pointSize(), 8);
        const auto buttons = Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint;
        QCOMPARE(frmMain().windowFlags() & buttons, Qt::WindowMinimizeButtonHint);
        for (QWidget* dialog : QList<QWidget*>{&frmAddProject(), &frmProjectDetails(), &frmTimePeriod()}) {
            dialog->show();
            dialog->setWindowState(Qt::WindowMinimized);
            QCOMPARE(dialog->windowFlags() & buttons, 0);
            QTRY_VERIFY(!dialog->isMinimized());
        }
        QLabel& description = *frmProjectDetails().lblDescription;
        description.setText(QString("A long description ").repeated(12));
        const int needed = description.heightForWidth(description.width());
        QVERIFY(needed >= 2 * description.fontMetrics().lineSpacing() && needed <= description.height());
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_Dialogs.moc"
