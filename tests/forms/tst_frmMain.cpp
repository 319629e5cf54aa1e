#include "FormFixture.h"
#include "ModalAnswers.h"
#include "TestDb.h"

#include "forms/ErrorPolicy.h"
#include "forms/frmProjectDetails.h"
#include "modules/modGeneral.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "platform/SystemTray.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <memory>

// The main window, its popup menu and its commands, started as the program starts: from a
// database beside the program (here a link to the test's database).
class tst_frmMain : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempDatabase> db;
    QList<SystemTray::Call> calls;
    qint64 alpha = 0;
    const QString beside = GetAppPath() + "Tallyclock.mdb";

    static bool timing() { return !frmMain().mnuStartTimer->isEnabled() && frmMain().mnuEndTimer->isEnabled(); }
    static bool idle() { return frmMain().mnuStartTimer->isEnabled() && !frmMain().mnuEndTimer->isEnabled(); }

private slots:
    void initTestCase() { SetUpApplication(); }
    void init()
    {
        QLocale::setDefault(QLocale("en_US"));
        db = std::make_unique<TempDatabase>();
        alpha = db->insertProject("Alpha <b>&</b>");
        db->insertProject("Beta");
        db->insertPeriod(alpha, 46000.25, 46000.3125);
        QFile::remove(beside);
        QVERIFY(QFile::link(db->path(), beside));
        calls.clear();
        SystemTray::SetRecorder([this](const SystemTray::Call& call) { calls << call; });
        SystemTray::SetAvailabilityOverride(true);
        gActiveProjectID = 0;
        ModalAnswers errors; // a failing start-up's message is closed, not waited on
        QVERIFY(RunStartup([] { frmMain().Form_Load(); }));
    }
    void cleanup()
    {
        UnloadWindows();
        QFile::remove(beside);
        db.reset();
    }

    // With a notification area the window hides when minimised and its surface opens no menu.
    // Without one it stays on the task bar, and a right-button release on its surface, not on
    // the list, opens the popup menu.
    void notificationArea_data()
    {
        QTest::addColumn<bool>("area");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("present") << true << QStringList();
        QTest::newRow("absent") << false << QStringList{"closed:mnuPopup"};
    }
    void notificationArea()
    {
        QFETCH(bool, area);
        QFETCH(QStringList, opened);
        SystemTray::SetAvailabilityOverride(area);
        ModalAnswers answers;
        QTest::mouseClick(frmMain().lstProject->header(), Qt::RightButton);
        QTest::mouseClick(&frmMain(), Qt::RightButton, {}, {4, 220});
        QCOMPARE(answers.seen, opened);
        frmMain().setWindowState(Qt::WindowMinimized);
        QCOMPARE(frmMain().isVisible(), !area);
    }

    // Of the icon's messages only a right-button release opens the popup menu, and only while
    // the window is minimised (and so hidden).
    void iconMessages_data()
    {
        QTest::addColumn<int>("message");
        QTest::addColumn<bool>("minimised");
        QTest::addColumn<QStringList>("opened");
        for (int message : {512, 513, 514, 515, 516, 518})
            QTest::addRow("%d, minimised", message) << message << true << QStringList();
        QTest::newRow("517, minimised") << 517 << true << QStringList{"closed:mnuPopup"};
        QTest::newRow("517, on screen") << 517 << false << QStringList();
    }
    void iconMessages()
    {
        QFETCH(int, message);
        QFETCH(bool, minimised);
        QFETCH(QStringList, opened);
        if (minimised)
            frmMain().setWindowState(Qt::WindowMinimized);
        ModalAnswers answers;
        frmMain().findChild<SystemTray*>()->InjectMouseMessage(message);
        QCOMPARE(answers.seen, opened);
    }

    // The timer times the project made active, whose name is shown as typed; the icon's
    // tooltip, the program's name at first, follows the timer, and the list shows the new total.
    void timerTimesTheActiveProject()
    {
        QCOMPARE(calls.constLast().tooltip, "Tallyclock");
        SelectID(*frmMain().lstProject, alpha);
        frmMain().cmdSetActive->click();
        QCOMPARE(frmMain().lblActiveProject->text(), "Alpha <b>&</b>");
        QCOMPARE(frmMain().lblActiveProject->textFormat(), Qt::PlainText);
        frmMain().mnuStartTimer->trigger();
        QCOMPARE(calls.constLast().tooltip, "Tallyclock - Timing since " + GeneralDateText(gStartTime));
        gStartTime -= 30.0 / 1440; // as if started 30 minutes ago
        frmMain().mnuEndTimer->trigger();
        QCOMPARE(calls.constLast().tooltip, "Tallyclock - Idle");
        QCOMPARE(frmMain().lstProject->topLevelItem(0)->text(1), "120");
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
        QCOMPARE(db->scalar("SELECT COUNT(*) FROM tblTimePeriod").toInt(), 1);
    }

    // Delete asks first: Cancel keeps the selected project, OK deletes it.
    void deleteProject()
    {
        SelectID(*frmMain().lstProject, alpha);
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Cancel)).then(ModalAnswers::press(QMessageBox::Ok));
        frmMain().cmdDelete->click();
        QCOMPARE(frmMain().lstProject->topLevelItemCount(), 2);
        frmMain().cmdDelete->click();
        QCOMPARE(answers.seen, QStringList(2, "Confirm|Are you sure you want to delete this Project?|400400"));
        QCOMPARE(frmMain().lstProject->topLevelItem(0)->text(0), "Beta");
    }

    // A period that cannot be stored keeps the timing running, to be ended again once the
    // database is back; once it is stored, a list that cannot be read again ends the timing all
    // the same. Each failure is shown.
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
        QVERIFY(answers.finished());
    }

    // Without the database the program says so, removes its icon and does not start.
    void startWithoutDatabase()
    {
        UnloadWindows();
        QFile::remove(beside);
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Ok));
        QVERIFY(!RunStartup([] { frmMain().Form_Load(); }));
        QVERIFY(answers.finished());
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
        ModalAnswers answers;
        const ModalAnswers::Step ok = ModalAnswers::press(QMessageBox::Ok);
        for (const ModalAnswers::Step& step : {ok, ModalAnswers::choose("mnuEndTimer"), ok}) {
            answers.then([&record, step](QWidget* window) {
                record();
                step(window);
            });
        }
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
