#include "FormFixture.h"
#include "ManualClock.h"
#include "ModalAnswers.h"
#include "TestDb.h"

#include "forms/ErrorPolicy.h"
#include "forms/frmProjectDetails.h"
#include "modules/modGeneral.h"
#include "modules/modRunningTiming.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "platform/SystemTray.h"
#include "platform/TimingFile.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>
#include <unistd.h>

// The main window, its popup menu and its commands, started as the program starts: from a
// database beside the program (here a link to the test's database).
class tst_frmMain : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempDatabase> db;
    QList<SystemTray::Call> calls;
    qint64 alpha = 0;
    qint64 beta = 0;
    const QString record = TimingFileIn(DataFolder());
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
        beta = db->insertProject("Beta");
        QFile::remove(record);
        QFile::remove(record + ".damaged");
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

    // Quit removes the icon and unloads every window.
    void quit()
    {
        frmProjectDetails();
        frmMain().mnuQuit->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(calls.constLast().operation, SystemTray::Operation::Delete);
        QVERIFY(!frmMain.IsLoaded() && !frmProjectDetails.IsLoaded());
    }

    // The project being timed cannot be deleted. Another one can: Delete asks first, Cancel
    // keeps the selected project, OK deletes it.
    void deleteProject()
    {
        SelectID(*frmMain().lstProject, beta);
        frmMain().cmdSetActive->click();
        frmMain().mnuStartTimer->trigger();
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Ok)).then(ModalAnswers::press(QMessageBox::Cancel));
        answers.then(ModalAnswers::press(QMessageBox::Ok));
        for (qint64 id : {beta, alpha, alpha}) {
            SelectID(*frmMain().lstProject, id);
            frmMain().cmdDelete->click();
        }
        QCOMPARE(answers.seen,
                 QStringList({"Tallyclock|This project is being timed. End the timer before you delete it.|400",
                              "Confirm|Are you sure you want to delete this Project?|400400",
                              "Confirm|Are you sure you want to delete this Project?|400400"}));
        QCOMPARE(frmMain().lstProject->topLevelItemCount(), 1);
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

    // Set Active while a timing runs for another project asks: Yes stores the time so far for
    // that project and times the new one from now, No leaves the whole timing to the new one,
    // Cancel changes nothing. The timed project asks nothing.
    void setActiveWhileTiming_data()
    {
        QTest::addColumn<int>("answer"); // none: the timed project is chosen again
        QTest::addColumn<QString>("stored"); // "project minutes", after the fixture's period
        QTest::newRow("yes") << int(QMessageBox::Yes) << "1 30.0, 2 0.0";
        QTest::newRow("no") << int(QMessageBox::No) << "2 30.0";
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << "1 30.0";
        QTest::newRow("same project") << 0 << "1 30.0";
    }
    void setActiveWhileTiming()
    {
        QFETCH(int, answer);
        QFETCH(QString, stored);
        ManualClock clock(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
        SelectID(*frmMain().lstProject, alpha);
        frmMain().cmdSetActive->click();
        frmMain().mnuStartTimer->trigger();
        clock.Advance(30 * 60000);
        SelectID(*frmMain().lstProject, answer ? beta : alpha);
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::StandardButton(answer)));
        frmMain().cmdSetActive->click();
        const QString asked = "Confirm|A timing for Alpha <b>&</b> runs since 9:00 AM. Book the time so far to Alpha "
                              "<b>&</b> and go on timing Beta?|"
            + QString::number(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, 16);
        QCOMPARE(answers.seen, answer ? QStringList{asked} : QStringList());
        QCOMPARE(ReadTimingFile(DataFolder())->projectID, answer & (QMessageBox::Yes | QMessageBox::No) ? beta : alpha);
        frmMain().mnuEndTimer->trigger();
        QCOMPARE(db->scalar("SELECT GROUP_CONCAT(ProjectID || ' ' || ROUND((EndTime-StartTime)*1440), ', ') FROM "
                            "tblTimePeriod WHERE TimePeriodID > 1")
                     .toString(),
                 stored);
    }

    // A record that cannot be written, on a full disk (no file may grow) or in a folder the
    // program may not write to (as nobody where the tests run as root), leaves the one before
    // whole and the timing running, and is reported once however often it fails again.
    void timingWithoutItsRecord_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("full disk") << true;
        QTest::newRow("folder not writable") << false;
    }
    void timingWithoutItsRecord()
    {
        QFETCH(bool, fullDisk);
        std::signal(SIGXFSZ, SIG_IGN); // a write past the size limit fails with EFBIG instead
        frmMain().mnuStartTimer->trigger();
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Ok));
        rlimit disk{};
        ::getrlimit(RLIMIT_FSIZE, &disk);
        const rlimit full{0, disk.rlim_max};
        const bool root = ::geteuid() == 0;
        const auto permissions = QFile::permissions(DataFolder());
        QVERIFY(fullDisk   ? ::setrlimit(RLIMIT_FSIZE, &full) == 0
                    : root ? ::seteuid(65534) == 0
                           : QFile::setPermissions(DataFolder(), QFile::ReadOwner | QFile::ExeOwner));
        for (int minute = 0; minute < 2; ++minute)
            frmMain().runningTiming->WriteDown();
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &disk) == 0 && (!root || ::seteuid(0) == 0));
        QVERIFY(QFile::setPermissions(DataFolder(), permissions));
        QVERIFY(timing());
        QCOMPARE(answers.seen.size(), 1);
        QVERIFY(answers.seen[0].startsWith("Tallyclock|The running timing cannot be written"));
        QVERIFY(ReadTimingFile(DataFolder()));
    }

    // At the start a record of a timing that was not ended is asked about. One whose project is
    // gone can only be discarded; one that holds no timing is set aside, with a message of one
    // line. Either way the record is gone after.
    void recordAtStart_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("asked"); // %1 the record
        const QString noTiming = "Tallyclock|The record of a running timing \"%1\" cannot be read (it does not hold a "
                                 "project, a start and a last moment); it was set aside as \"%1.damaged\".|400";
        QTest::newRow("project gone")
            << QByteArray("ProjectID=99\nStart=2026-12-07T09:00:00\nLastSeen=2026-12-07T09:02:00\n")
            << int(QMessageBox::Discard)
            << "Timing not ended|A timing that started on 12/7/2026 9:00:00 AM was not ended; the program last ran at "
               "12/7/2026 9:02:00 AM. The project it was for (ID 99) does not exist, so it can only be "
               "discarded.|800000";
        QTest::newRow("cut at a line's end")
            << QByteArray("ProjectID=2\nStart=2026-12-07T09:00:00\n") << int(QMessageBox::Ok) << noTiming;
        QTest::newRow("garbage") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n", 17) << int(QMessageBox::Ok)
                                 << noTiming;
    }
    void recordAtStart()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, answer);
        QFETCH(QString, asked);
        QFile file(record);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size());
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::StandardButton(answer)));
        RunHandler([] { frmMain().AskAboutUnendedTiming(); });
        QCOMPARE(answers.seen, QStringList{asked.arg(record)});
        QVERIFY(!file.exists() && idle());
        QFile aside(record + ".damaged");
        QCOMPARE(aside.open(QIODevice::ReadOnly) ? aside.readAll() : QByteArray(),
                 answer == QMessageBox::Ok ? bytes : "");
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
