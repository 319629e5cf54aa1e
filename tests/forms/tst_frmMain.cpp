#include "FormFixture.h"
#include "ModalAnswers.h"
#include "TestDb.h"

#include "forms/ErrorPolicy.h"
#include "forms/frmProjectDetails.h"
#include "modules/modGeneral.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "platform/SystemTray.h"

#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <memory>

// The main window, its icon and popup menu, and its commands, started as the program starts:
// from a database beside the program (here a link to the test's database).
class tst_frmMain : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempDatabase> db;
    QList<SystemTray::Call> calls;
    qint64 alpha = 0, beta = 0;
    const QString beside = GetAppPath() + "Tallyclock.mdb";
    const QString missing = "Tallyclock|The database file \"" + beside + "\" does not exist.|400";

    static bool start()
    {
        return RunStartup([] { frmMain().Form_Load(); });
    }
    static void fromIcon(int message) { frmMain().findChild<SystemTray*>()->InjectMouseMessage(message); }
    static bool timing() { return !frmMain().mnuStartTimer->isEnabled() && frmMain().mnuEndTimer->isEnabled(); }
    static bool idle() { return frmMain().mnuStartTimer->isEnabled() && !frmMain().mnuEndTimer->isEnabled(); }
    QString tooltip() const { return calls.constLast().tooltip; }
    int periods() const { return db->scalar("SELECT COUNT(*) FROM tblTimePeriod").toInt(); }

private slots:
    void initTestCase() { SetUpApplication(); }
    void init()
    {
        QLocale::setDefault(QLocale("en_US"));
        db = std::make_unique<TempDatabase>();
        alpha = db->insertProject("Alpha");
        beta = db->insertProject("Beta <b>&</b>");
        db->insertPeriod(alpha, 46000.25, 46000.3125);
        QFile::remove(beside);
        QVERIFY(QFile::link(db->path(), beside));
        calls.clear();
        SystemTray::SetRecorder([this](const SystemTray::Call& call) { calls << call; });
        SystemTray::SetAvailabilityOverride(true);
        gActiveProjectID = 0;
        ModalAnswers errors; // a failing start-up's message is closed, not waited on
        QVERIFY(start());
    }
    void cleanup()
    {
        UnloadWindows();
        QFile::remove(beside);
        db.reset();
    }

    // Without a notification area the window stays on the task bar, and a right-button release
    // on its surface, not on the list, opens the menu.
    void noNotificationArea()
    {
        SystemTray::SetAvailabilityOverride(false);
        frmMain().setWindowState(Qt::WindowMinimized);
        QVERIFY(frmMain().isVisible());
        frmMain().setWindowState(Qt::WindowNoState);
        ModalAnswers answers;
        answers.then(ModalAnswers::choose("mnuStartTimer"));
        QTest::mouseClick(frmMain().lstProject->header(), Qt::RightButton);
        QTest::mouseClick(&frmMain(), Qt::LeftButton, {}, {4, 220});
        QTest::mouseClick(&frmMain(), Qt::RightButton, {}, {4, 220});
        QCOMPARE(answers.seen, {"mnuPopup"});
        QVERIFY(timing());
    }

    // Set Active, minimise, Start and End Timer from the icon, View Projects: of the icon's
    // messages only a right-button release opens the menu, and only while the window is
    // minimised (then hidden). A second timing is not stored when the program quits.
    void timingRoad()
    {
        QCOMPARE(tooltip(), "Tallyclock");
        QVERIFY(!frmMain().lstProject->SelectedItem() && frmMain().isVisible() && idle());
        SelectID(*frmMain().lstProject, beta);
        frmMain().cmdSetActive->click();
        QCOMPARE(frmMain().lblActiveProject->text(), "Beta <b>&</b>");
        QCOMPARE(frmMain().lblActiveProject->textFormat(), Qt::PlainText);
        frmMain().setWindowState(Qt::WindowMinimized);
        QVERIFY(frmMain().isHidden());

        ModalAnswers answers;
        for (int message : {512, 513, 514, 515, 516, 518})
            fromIcon(message);
        answers.then(ModalAnswers::choose("mnuStartTimer"));
        fromIcon(517);
        QVERIFY(qAbs(CurrentMoment() - gStartTime) < 2.0 / 86400);
        QCOMPARE(tooltip(), "Tallyclock - Timing since " + GeneralDateText(gStartTime));
        QVERIFY(timing());

        gStartTime -= 90.0 / 1440; // as if started 90 minutes ago
        answers.then(ModalAnswers::choose("mnuEndTimer")).then(ModalAnswers::choose("mnuViewProjects"));
        fromIcon(517);
        const auto stored = db->rows(
            QString("SELECT StartTime, EndTime FROM tblTimePeriod WHERE ProjectID=%1").arg(beta));
        QCOMPARE(stored, (std::vector<QVariantList>{{gStartTime, gEndTime}}));
        QCOMPARE(tooltip(), "Tallyclock - Idle");
        QVERIFY(idle());
        QCOMPARE(frmMain().lstProject->topLevelItem(1)->text(1), "90");
        fromIcon(517);
        QVERIFY(frmMain().isVisible() && !frmMain().isMinimized());
        fromIcon(517);
        QTest::mouseClick(&frmMain(), Qt::RightButton, {}, {4, 220});

        frmMain().mnuStartTimer->trigger();
        frmProjectDetails();
        frmMain().mnuQuit->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(calls.constLast().operation, SystemTray::Operation::Delete);
        QVERIFY(!frmMain.IsLoaded() && !frmProjectDetails.IsLoaded());
        QCOMPARE(periods(), 2);
        QVERIFY(answers.finished());
    }

    // Cancel keeps the project; OK deletes it with its periods, and it stays the active one.
    void deleteProject()
    {
        SelectID(*frmMain().lstProject, alpha);
        frmMain().cmdSetActive->click();
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Cancel)).then(ModalAnswers::press(QMessageBox::Ok));
        frmMain().cmdDelete->click();
        QCOMPARE(periods(), 1);
        frmMain().cmdDelete->click();
        const QString confirm = "Confirm|Are you sure you want to delete this Project?|400,400000";
        QCOMPARE(answers.seen, QStringList({confirm, confirm}));
        QCOMPARE(frmMain().lstProject->topLevelItemCount(), 1);
        QCOMPARE(periods(), 0);
        QCOMPARE(frmMain().lblActiveProject->text(), "Alpha");
    }

    // The database goes away while a timing runs: the message, the timing kept, the program
    // on, and the timing stored once it is back; that the list then cannot be read again does
    // not keep the timing running. Without the database the program does not start.
    void databaseUnreachable()
    {
        frmMain().mnuStartTimer->trigger();
        QVERIFY(QFile::rename(db->path(), db->path() + ".away"));
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Ok)).then(ModalAnswers::press(QMessageBox::Ok));
        answers.then(ModalAnswers::press(QMessageBox::Ok));
        frmMain().mnuEndTimer->trigger();
        QVERIFY(timing() && frmMain().isVisible());
        QCOMPARE(tooltip(), "Tallyclock - Timing since " + GeneralDateText(gStartTime));
        QVERIFY(QFile::rename(db->path() + ".away", db->path()));
        db->exec("DROP VIEW qryProject"); // a broken one: every name Null
        db->exec("CREATE VIEW qryProject AS SELECT ProjectID, NULL, Description, 0 FROM tblProject");
        frmMain().mnuEndTimer->trigger();
        QCOMPARE(periods(), 2);
        QVERIFY(idle());
        QCOMPARE(tooltip(), "Tallyclock - Idle");

        UnloadWindows();
        QFile::remove(beside);
        calls.clear();
        QVERIFY(!start());
        QCOMPARE(answers.seen.size(), 3);
        QCOMPARE(answers.seen[0],
                 missing.chopped(4)
                     + "\n\nThe period was not stored: the timing is still running and can "
                       "be ended again once the database is reachable.|400");
        QVERIFY(answers.seen[1].endsWith(
            "\n\nThe period was stored, but the list of projects could not be refreshed.|400"));
        QCOMPARE(answers.seen[2], missing);
        QCOMPARE(calls.constLast().operation, SystemTray::Operation::Delete);
        QVERIFY(answers.finished());
    }

    // A handler shows the busy cursor, but not while a window it opened waits on the user, and
    // leaves none behind, whether it ends or fails.
    void busyCursor()
    {
        QList<int> shapes;
        const auto record = [&shapes] {
            shapes << (QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : -1);
        };
        const auto recordThen = [&record](const ModalAnswers::Step& step) {
            return [&record, step](QWidget* window) {
                record();
                step(window);
            };
        };
        ModalAnswers answers;
        answers.then(recordThen(ModalAnswers::press(QMessageBox::Ok)))
            .then(recordThen(ModalAnswers::choose("mnuEndTimer")));
        answers.then(recordThen(ModalAnswers::press(QMessageBox::Ok)));
        RunHandler([&record] {
            record();
            MsgBox("Sure?", QMessageBox::Ok, "Tallyclock");
            frmMain().mnuPopup->exec();
            record();
            throw AppError("Failed.");
        });
        record();
        QCOMPARE(shapes, QList<int>({Qt::WaitCursor, -1, -1, Qt::WaitCursor, -1, -1}));
        QVERIFY(answers.finished());
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
