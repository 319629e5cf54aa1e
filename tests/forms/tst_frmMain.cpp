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
        answers.then(ModalAnswers::choose("mnuViewProjects"));
        QTest::mouseClick(frmMain().lstProject->header(), Qt::RightButton);
        QTest::mouseClick(&frmMain(), Qt::LeftButton, {}, {4, 220});
        QTest::mouseClick(&frmMain(), Qt::RightButton, {}, {4, 220});
        QCOMPARE(answers.seen, {"mnuPopup"});
    }

    // The icon's menu times the project made active, whose name is shown as typed; the tooltip
    // and the menu's items follow the timer, and the list shows the new total. With the icon
    // there, the window's surface opens no menu. (Which of the icon's messages open the menu,
    // and only while the window is hidden, the tray host and end-to-end tests show.)
    void timerTimesTheActiveProject()
    {
        QCOMPARE(tooltip(), "Tallyclock");
        SelectID(*frmMain().lstProject, beta);
        frmMain().cmdSetActive->click();
        QCOMPARE(frmMain().lblActiveProject->text(), "Beta <b>&</b>");
        QCOMPARE(frmMain().lblActiveProject->textFormat(), Qt::PlainText);
        ModalAnswers answers;
        QTest::mouseClick(&frmMain(), Qt::RightButton, {}, {4, 220});
        frmMain().setWindowState(Qt::WindowMinimized);
        answers.then(ModalAnswers::choose("mnuStartTimer")).then(ModalAnswers::choose("mnuEndTimer"));
        fromIcon(517);
        QCOMPARE(tooltip(), "Tallyclock - Timing since " + GeneralDateText(gStartTime));
        QVERIFY(timing());
        gStartTime -= 90.0 / 1440; // as if started 90 minutes ago
        fromIcon(517);
        QCOMPARE(tooltip(), "Tallyclock - Idle");
        QVERIFY(idle());
        QCOMPARE(frmMain().lstProject->topLevelItem(1)->text(1), "90");
        QVERIFY(answers.finished());
    }

    // Quit removes the icon and unloads every window; a timing still running is not stored.
    void quit()
    {
        frmMain().mnuStartTimer->trigger();
        frmProjectDetails();
        frmMain().mnuQuit->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(calls.constLast().operation, SystemTray::Operation::Delete);
        QVERIFY(!frmMain.IsLoaded() && !frmProjectDetails.IsLoaded());
        QCOMPARE(periods(), 1);
    }

    // Cancel keeps the project; OK deletes it, and it stays the active one.
    void deleteProject()
    {
        SelectID(*frmMain().lstProject, alpha);
        frmMain().cmdSetActive->click();
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Cancel)).then(ModalAnswers::press(QMessageBox::Ok));
        frmMain().cmdDelete->click();
        QCOMPARE(frmMain().lstProject->topLevelItemCount(), 2);
        frmMain().cmdDelete->click();
        const QString confirm = "Confirm|Are you sure you want to delete this Project?|400,400000";
        QCOMPARE(answers.seen, QStringList({confirm, confirm}));
        QCOMPARE(frmMain().lstProject->topLevelItemCount(), 1);
        QCOMPARE(frmMain().lblActiveProject->text(), "Alpha");
    }

    // A period that cannot be stored keeps the timing running, to be ended again once the
    // database is back; once it is stored, a list that cannot be read again ends the timing all
    // the same. Each message says what became of the period.
    void endTimerWithoutDatabase()
    {
        frmMain().mnuStartTimer->trigger();
        QVERIFY(QFile::rename(db->path(), db->path() + ".away"));
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Ok)).then(ModalAnswers::press(QMessageBox::Ok));
        frmMain().mnuEndTimer->trigger();
        QVERIFY(timing());
        QVERIFY(QFile::rename(db->path() + ".away", db->path()));
        db->exec("DROP VIEW qryProject"); // a broken one: every name Null
        db->exec("CREATE VIEW qryProject AS SELECT ProjectID, NULL, Description, 0 FROM tblProject");
        frmMain().mnuEndTimer->trigger();
        QVERIFY(idle());
        QCOMPARE(answers.seen.size(), 2);
        QVERIFY(answers.seen[0].endsWith("\n\nThe period was not stored: the timing is still running and can be ended "
                                         "again once the database is reachable.|400"));
        QVERIFY(answers.seen[1].endsWith(
            "\n\nThe period was stored, but the list of projects could not be refreshed.|400"));
    }

    // Without the database the program says so, removes its icon and does not start.
    void startWithoutDatabase()
    {
        UnloadWindows();
        QFile::remove(beside);
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Ok));
        QVERIFY(!start());
        QCOMPARE(answers.seen, {"Tallyclock|The database file \"" + beside + "\" does not exist.|400"});
        QCOMPARE(calls.constLast().operation, SystemTray::Operation::Delete);
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
