#include "Files.h"
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
    qint64 alpha = 0, beta = 0;
    const QString record = TimingFileIn(DataFolder());
    const QString beside = GetAppPath() + "Tallyclock.mdb";

    static bool timing() { return !frmMain().mnuStartTimer->isEnabled() && frmMain().mnuEndTimer->isEnabled(); }
    static bool idle() { return frmMain().mnuStartTimer->isEnabled() && !frmMain().mnuEndTimer->isEnabled(); }
    // The periods stored after the fixture's, as "project minutes".
    QString stored() const
    {
        return db
            ->scalar("SELECT group_concat(ProjectID || ' ' || ROUND((EndTime-StartTime)*1440), ', ') FROM "
                     "tblTimePeriod WHERE TimePeriodID > 1")
            .toString();
    }

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

    // The popup menu opens on the icon's right-button release (517) while the window is
    // minimised, which hides it where there is a notification area. Without one the window stays
    // on the task bar, and a right-button release on its surface, not on the list, opens the menu.
    void popupMenu_data()
    {
        QTest::addColumn<bool>("area");
        QTest::addColumn<bool>("minimised");
        QTest::addColumn<int>("message"); // 0: right-button clicks on the list's header and on the surface
        QTest::addColumn<bool>("opens");
        for (int message : {512, 513, 514, 515, 516, 518})
            QTest::addRow("icon %d, minimised", message) << true << true << message << false;
        // clang-format off
        QTest::newRow("icon 517, minimised") << true << true << 517 << true;
        QTest::newRow("icon 517, on screen") << true << false << 517 << false;
        QTest::newRow("surface, area") << true << false << 0 << false;
        QTest::newRow("surface, no area, minimised") << false << true << 0 << true;
        // clang-format on
    }
    void popupMenu()
    {
        QFETCH(bool, area);
        QFETCH(bool, minimised);
        QFETCH(int, message);
        QFETCH(bool, opens);
        SystemTray::SetAvailabilityOverride(area);
        if (minimised)
            frmMain().setWindowState(Qt::WindowMinimized);
        QCOMPARE(frmMain().isVisible(), !area || !minimised);
        ModalAnswers answers;
        if (message)
            frmMain().findChild<SystemTray*>()->InjectMouseMessage(message);
        QTest::mouseClick(frmMain().lstProject->header(), Qt::RightButton);
        QTest::mouseClick(&frmMain(), Qt::RightButton, {}, {4, 220});
        QCOMPARE(answers.seen, opens ? QStringList{"closed:mnuPopup"} : QStringList());
    }

    // Quit removes the icon, unloads every window and discards a running timing.
    void quit()
    {
        frmProjectDetails();
        frmMain().mnuStartTimer->trigger();
        frmMain().mnuQuit->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(calls.constLast().operation, SystemTray::Operation::Delete);
        QVERIFY(!frmMain.IsLoaded() && !frmProjectDetails.IsLoaded() && !QFile::exists(record));
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

    // The timer times the project made active, whose name is shown as typed. Set Active while a
    // timing runs for another project asks: Yes stores the time so far for that project and times
    // the new one from now, No leaves the whole timing to the new one, Cancel changes nothing; the
    // timed project asks nothing. The icon's tooltip, the program's name at first, follows the
    // timer, the running timing is written down until it ends, and the list shows the new totals.
    void timerTimesTheActiveProject_data()
    {
        QTest::addColumn<int>("answer"); // none: the timed project is chosen again
        QTest::addColumn<QString>("stored"); // after End Timer, then the totals listed
        QTest::newRow("yes") << int(QMessageBox::Yes) << "1 30.0, 2 0.0|120 0";
        QTest::newRow("no") << int(QMessageBox::No) << "2 30.0|90 30";
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << "1 30.0|120 0";
        QTest::newRow("same project") << 0 << "1 30.0|120 0";
    }
    void timerTimesTheActiveProject()
    {
        QFETCH(int, answer);
        QFETCH(QString, stored);
        ManualClock clock(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
        QCOMPARE(calls.constLast().tooltip, "Tallyclock");
        SelectID(*frmMain().lstProject, alpha);
        frmMain().cmdSetActive->click();
        QCOMPARE(frmMain().lblActiveProject->text(), "Alpha <b>&</b>");
        QCOMPARE(frmMain().lblActiveProject->textFormat(), Qt::PlainText);
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
        QCOMPARE(calls.constLast().tooltip, "Tallyclock - Timing since " + GeneralDateText(gStartTime));
        frmMain().mnuEndTimer->trigger();
        QCOMPARE(calls.constLast().tooltip, "Tallyclock - Idle");
        QVERIFY(!QFile::exists(record));
        const ListView& list = *frmMain().lstProject;
        QCOMPARE(this->stored() + '|' + list.topLevelItem(0)->text(1) + ' ' + list.topLevelItem(1)->text(1), stored);
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

    // At the start a record of a timing that was not ended is asked about: stored until the
    // program last ran, resumed from its start, or discarded. One whose project is gone can only be
    // discarded; one that holds no timing is set aside, with a message of one line. The record
    // stays only while its timing runs.
    void recordAtStart_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("asked"); // %1 the record
        QTest::addColumn<QString>("after"); // the tooltip, then the periods stored
        const QByteArray alpha = "ProjectID=1\nStart=2026-12-07T09:00:00\nLastSeen=2026-12-07T09:02:00\n";
        const QString ended = "Timing not ended|A timing %1 started on 12/7/2026 9:00:00 AM was not ended; the "
                              "program last ran at 12/7/2026 9:02:00 AM.";
        const QString ofAlpha = ended.arg("of Alpha <b>&</b> that") + '|'
            + QString::number(QMessageBox::Save | QMessageBox::Yes | QMessageBox::Discard, 16);
        const QString gone = ended.arg("that")
            + " The project it was for (ID 99) does not exist, so it can only be discarded.|800000";
        const QString noTiming = "Tallyclock|The record of a running timing \"%1\" cannot be read (it does not hold a "
                                 "project, a start and a last moment); it was set aside as \"%1.damaged\".|400";
        const QByteArray garbage("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n", 17);
        // clang-format off
        QTest::newRow("stored") << alpha << int(QMessageBox::Save) << ofAlpha << "Tallyclock - Idle|1 2.0";
        QTest::newRow("resumed") << alpha << int(QMessageBox::Yes) << ofAlpha << "Tallyclock - Timing since 12/7/2026 9:00:00 AM|";
        QTest::newRow("project gone") << QByteArray(alpha).replace("=1", "=99") << int(QMessageBox::Discard) << gone << "Tallyclock|";
        QTest::newRow("cut at a line's end") << alpha.left(alpha.indexOf("Last")) << int(QMessageBox::Ok) << noTiming << "Tallyclock|";
        QTest::newRow("garbage") << garbage << int(QMessageBox::Ok) << noTiming << "Tallyclock|";
        // clang-format on
    }
    void recordAtStart()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, answer);
        QFETCH(QString, asked);
        QVERIFY(Write(record, bytes));
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::StandardButton(answer)));
        RunHandler([] { frmMain().AskAboutUnendedTiming(); });
        QCOMPARE(answers.seen, QStringList{asked.arg(record)});
        QTEST(calls.constLast().tooltip + '|' + stored(), "after");
        QCOMPARE(QFile::exists(record), timing());
        QCOMPARE(Read(record + ".damaged"), answer == QMessageBox::Ok ? bytes : "");
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
