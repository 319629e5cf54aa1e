#include "FormFixture.h"
#include "ModalAnswers.h"
#include "TestDb.h"

#include "forms/ErrorPolicy.h"
#include "forms/frmProjectDetails.h"
#include "modules/modGeneral.h"
#include "platform/Regional.h"
#include "platform/SystemTray.h"

#include <QAction>
#include <QFile>
#include <QLabel>
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
    const QString reload = "SELECT * FROM qryProject ORDER BY Name";

    void start() { QVERIFY(RunStartup([] { frmMain().Form_Load(); })); }
    void fromIcon(int message) { frmMain().findChild<SystemTray*>()->InjectMouseMessage(message); }
    int periods() const { return db->scalar("SELECT COUNT(*) FROM tblTimePeriod").toInt(); }
    QString row(qint64 id) const
    {
        const QTreeWidgetItem* item = frmMain().lstProject->Find(KeyFromID(static_cast<qint32>(id)));
        return item ? item->text(0) + '|' + item->text(1) : QString();
    }

private slots:
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
    }
    void cleanup()
    {
        UnloadWindows();
        QFile::remove(beside);
        SystemTray::SetRecorder({});
        SystemTray::SetAvailabilityOverride(std::nullopt);
        db.reset();
    }

    void startUpFailure()
    {
        QFile::remove(beside);
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Ok));
        QVERIFY(!RunStartup([] { frmMain().Form_Load(); }));
        QCOMPARE(answers.seen, {"Tallyclock|The database file \"" + beside + "\" does not exist.|400"});
        QCOMPARE(calls.constLast().operation, SystemTray::Operation::Delete);
    }

    void iconMessages_data()
    {
        QTest::addColumn<bool>("minimised");
        QTest::addColumn<int>("message");
        QTest::newRow("right release, minimised") << true << 517;
        QTest::newRow("right release, on screen") << false << 517;
        QTest::newRow("right press") << true << 516;
        QTest::newRow("right double-click") << true << 518;
        QTest::newRow("left click") << true << 514;
        QTest::newRow("left double-click") << true << 515;
        QTest::newRow("movement") << true << 512;
    }
    void iconMessages()
    {
        QFETCH(bool, minimised);
        QFETCH(int, message);
        const bool opens = minimised && message == 517;
        start();
        if (minimised)
            frmMain().setWindowState(Qt::WindowMinimized);
        QCOMPARE(frmMain().isHidden(), minimised);
        ModalAnswers answers;
        answers.then(ModalAnswers::choose("mnuViewProjects"));
        fromIcon(message);
        QTest::qWait(20);
        QCOMPARE(answers.seen, opens ? QStringList{"mnuPopup"} : QStringList{});
        QCOMPARE(frmMain().isVisible(), !minimised || opens);
        QCOMPARE(frmMain().isMinimized(), minimised && !opens);
    }

    // Without a notification area the window stays on the task bar and its surface opens the menu.
    void noNotificationArea()
    {
        SystemTray::SetAvailabilityOverride(false);
        start();
        frmMain().setWindowState(Qt::WindowMinimized);
        QVERIFY(frmMain().isVisible());
        frmMain().setWindowState(Qt::WindowNoState);
        ModalAnswers answers;
        answers.then(ModalAnswers::choose("mnuStartTimer"));
        QTest::mouseClick(frmMain().lstProject->viewport(), Qt::RightButton, {}, {300, 100});
        QTest::mouseClick(&frmMain(), Qt::RightButton, {}, {4, 220});
        QCOMPARE(answers.seen, {"mnuPopup"});
        QVERIFY(frmMain().mnuEndTimer->isEnabled());
    }

    // Start-up, Set Active, minimise, Start and End Timer from the icon, View Projects; a second
    // timing is not stored when the program quits.
    void timingRoad()
    {
        start();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].tooltip, "Tallyclock");
        QCOMPARE(frmMain().lstProject->topLevelItem(0)->text(0), "Alpha");
        QCOMPARE(row(alpha), "Alpha|90");
        QVERIFY(!frmMain().lstProject->SelectedItem() && frmMain().isVisible());
        QVERIFY(frmMain().mnuStartTimer->isEnabled() && !frmMain().mnuEndTimer->isEnabled());
        SelectID(*frmMain().lstProject, beta);
        frmMain().cmdSetActive->click();
        QCOMPARE(frmMain().lblActiveProject->text(), "Beta <b>&</b>");
        QCOMPARE(frmMain().lblActiveProject->textFormat(), Qt::PlainText);
        frmMain().setWindowState(Qt::WindowMinimized);

        ModalAnswers answers;
        answers.then(ModalAnswers::choose("mnuStartTimer"));
        fromIcon(517);
        QCOMPARE(gStartTime, CurrentMoment());
        QCOMPARE(calls.constLast().tooltip, "Tallyclock - Timing since " + GeneralDateText(gStartTime));
        QVERIFY(!frmMain().mnuStartTimer->isEnabled() && frmMain().mnuEndTimer->isEnabled());

        StatementLog log;
        answers.then(ModalAnswers::choose("mnuEndTimer")).then(ModalAnswers::choose("mnuViewProjects"));
        fromIcon(517);
        QCOMPARE(log.statements(), QStringList({QString("INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) "
                                                        "VALUES(%1,#%2#,#%3#)")
                                                    .arg(beta)
                                                    .arg(GeneralDateText(gStartTime), GeneralDateText(gEndTime)),
                                                reload}));
        const auto stored = db->rows(QString("SELECT StartTime, EndTime FROM tblTimePeriod WHERE ProjectID=%1").arg(beta));
        QCOMPARE(stored.size(), 1u);
        QCOMPARE(stored[0], QVariantList({gStartTime, gEndTime}));
        QCOMPARE(calls.constLast().tooltip, "Tallyclock - Idle");
        QVERIFY(frmMain().mnuStartTimer->isEnabled() && !frmMain().mnuEndTimer->isEnabled());
        QCOMPARE(row(beta), "Beta <b>&</b>|" + MinutesText(DaysToMinutes(gEndTime - gStartTime)));
        fromIcon(517);
        QVERIFY(frmMain().isVisible() && !frmMain().isMinimized());

        frmMain().mnuStartTimer->trigger();
        frmProjectDetails();
        frmMain().mnuQuit->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(calls.constLast().operation, SystemTray::Operation::Delete);
        QVERIFY(!frmMain.IsLoaded() && !frmProjectDetails.IsLoaded());
        QCOMPARE(periods(), 2);
        QVERIFY(answers.finished());
    }

    void deleteProject()
    {
        start();
        SelectID(*frmMain().lstProject, alpha);
        frmMain().cmdSetActive->click();
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Cancel)).then(ModalAnswers::press(QMessageBox::Ok));
        StatementLog log;
        frmMain().cmdDelete->click();
        QCOMPARE(log.statements(), QStringList());
        frmMain().cmdDelete->click();
        const QString confirm = "Confirm|Are you sure you want to delete this Project?|400,400000";
        QCOMPARE(answers.seen, QStringList({confirm, confirm}));
        const QString id = QString::number(alpha);
        QCOMPARE(log.statements(), QStringList({"BeginTrans", "DELETE FROM tblTimePeriod WHERE ProjectID=" + id,
                                                "DELETE FROM tblProject WHERE ProjectID=" + id, "CommitTrans", reload}));
        QCOMPARE(row(alpha), QString());
        QCOMPARE(periods(), 0);
        QCOMPARE(gActiveProjectID, alpha);
        QCOMPARE(frmMain().lblActiveProject->text(), "Alpha");
    }

    // The database goes away while a timing runs: the message, the timing kept, the program on.
    void errorKeepsTiming()
    {
        start();
        frmMain().mnuStartTimer->trigger();
        const QString running = calls.constLast().tooltip;
        QVERIFY(QFile::rename(db->path(), db->path() + ".away"));
        ModalAnswers answers;
        answers.then(ModalAnswers::press(QMessageBox::Ok));
        frmMain().mnuEndTimer->trigger();
        QCOMPARE(answers.seen, {"Tallyclock|The database file \"" + beside + "\" does not exist.|400"});
        QVERIFY(!frmMain().mnuStartTimer->isEnabled() && frmMain().mnuEndTimer->isEnabled());
        QCOMPARE(calls.constLast().tooltip, running);
        QVERIFY(frmMain().isVisible());

        QVERIFY(QFile::rename(db->path() + ".away", db->path()));
        frmMain().mnuEndTimer->trigger();
        QCOMPARE(calls.constLast().tooltip, "Tallyclock - Idle");
        QCOMPARE(periods(), 2);
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
