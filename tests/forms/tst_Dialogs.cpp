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

#include <memory>

// The project details dialog, the time period editor and the new project dialog, opened from
// the main window's list.
class tst_Dialogs : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempDatabase> db;
    qint64 alpha = 0, first = 0, midnight = 0;

    static ListView& list() { return *frmProjectDetails().lstTimePeriods; }
    static QString typed() { return frmTimePeriod().txtStartTime->text() + '|' + frmTimePeriod().txtEndTime->text(); }
    static void save(const QString& start, const QString& end)
    {
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

    // With no period selected, Modify opens nothing and Delete deletes nothing; Delete removes
    // the selected period. The main window's entry stays selected as its list is read again.
    void deleteNeedsASelectedPeriod()
    {
        ModalAnswers answers;
        answers.then([this](QWidget* details) {
            StatementLog log;
            frmProjectDetails().cmdModifyTimePeriod->click();
            frmProjectDetails().cmdDeleteTimePeriod->click();
            SelectID(list(), midnight);
            frmProjectDetails().cmdDeleteTimePeriod->click();
            const QString deletion = QString("DELETE FROM tblTimePeriod WHERE TimePeriodID=%1").arg(midnight);
            QCOMPARE(log.statements().filter("DELETE"), {deletion});
            QCOMPARE(frmMain().lstProject->SelectedItem(), frmMain().lstProject->topLevelItem(0));
            details->close();
        });
        frmMain().cmdViewDetail->click();
        QVERIFY(answers.finished());
    }

    // The project's name and description, and a double-click modifies the selected period with
    // the texts as typed; the main window's total follows.
    void modifyByDoubleClick()
    {
        ModalAnswers answers;
        answers.then([this](QWidget* details) {
            QCOMPARE(frmProjectDetails().lblProject->text() + '|' + frmProjectDetails().lblDescription->text(),
                     "Alpha|Two\nlines");
            SelectID(list(), first);
            QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, {100, 150});
            QCOMPARE(frmMain().lstProject->topLevelItem(0)->text(1), "180");
            details->close();
        });
        answers.then([](QWidget*) {
            QCOMPARE(typed(), "5/12/2026 9:00:00 AM|5/12/2026 10:30:00 AM");
            save("5/12/2026 9:00:00 AM", "5/12/2026 11:00 AM");
        });
        StatementLog log;
        frmMain().cmdViewDetail->click();
        const QString update =
            "UPDATE tblTimePeriod SET StartTime=#5/12/2026 9:00:00 AM#, EndTime=#5/12/2026 11:00 AM# "
            "WHERE TimePeriodID=%1";
        QCOMPARE(log.statements().filter("UPDATE"), {update.arg(first)});
        QVERIFY(answers.finished());
    }

    // New opens empty boxes. Only texts that read whole as moments, the end not before the start,
    // are taken, as typed; each refusal is shown, and the texts stay.
    void newPeriod()
    {
        ModalAnswers answers;
        answers.then([](QWidget* details) {
            frmTimePeriod().txtEndTime->setText("left from before");
            frmProjectDetails().cmdNewTimePeriod->click();
            details->close();
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
        StatementLog log;
        frmMain().cmdViewDetail->click();
        const QString insert = "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(%1,#8:00#,#9:00 AM#)";
        QCOMPARE(log.statements().filter("INSERT"), {insert.arg(alpha)});
        QCOMPARE(answers.seen.last(), "Tallyclock|The end must not be before the start.|400");
        QVERIFY(answers.finished());
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
