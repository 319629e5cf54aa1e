#include "forms/frmMain.h"

#include "forms/ErrorPolicy.h"
#include "forms/frmAddProject.h"
#include "forms/frmAway.h"
#include "forms/frmProjectDetails.h"
#include "forms/frmTimePeriod.h"
#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "modules/modRunningTiming.h"
#include "platform/DataFolder.h"
#include "platform/ListView.h"
#include "platform/ProgramIcon.h"
#include "platform/Regional.h"
#include "platform/SystemTray.h"
#include "platform/TimingFile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

namespace forms {

namespace {

QAction* MenuItem(QMenu* menu, const char* name, const QString& caption)
{
    QAction* item = caption == QLatin1String("-") ? menu->addSeparator() : menu->addAction(caption);
    item->setObjectName(QLatin1String(name));
    return item;
}

} // namespace

// The controls are made in their tab order, which gives the focus chain.
frmMain::frmMain(FormKey)
{
    SetUpForm(this, "frmMain", QStringLiteral("Tallyclock"), 7920, 3450);

    fraActiveProject = Place<QFrame>(this, "fraActiveProject", 240, 120, 7215, 255);
    Label1 = PlaceLabel(fraActiveProject, "Label1", QStringLiteral("Active Project :"), 120, 0, 1095, 255,
                        Qt::AlignRight);
    lblActiveProject = PlaceLabel(fraActiveProject, "lblActiveProject", QString(), 1320, 0, 5895, 255);
    lstProject = Place<ListView>(this, "lstProject", 120, 480, 7695, 2415);
    lstProject->SetColumns({{QStringLiteral("Project"), Twips(2440)}, {QStringLiteral("Total Time"), Twips(1440)}});
    cmdSetActive = PlaceButton(this, "cmdSetActive", QStringLiteral("Set Active"), 1200, 3000, 1215, 375);
    cmdViewDetail = PlaceButton(this, "cmdViewDetail", QStringLiteral("View Detail"), 2640, 3000, 1215, 375);
    cmdAddNew = PlaceButton(this, "cmdAddNew", QStringLiteral("New Project"), 4080, 3000, 1215, 375);
    cmdDelete = PlaceButton(this, "cmdDelete", QStringLiteral("Delete"), 5520, 3000, 1215, 375);

    mnuPopup = new QMenu(QStringLiteral("Popup"), this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuViewProjects = MenuItem(mnuPopup, "mnuViewProjects", QStringLiteral("View Projects"));
    mnuSep1 = MenuItem(mnuPopup, "mnuSep1", QStringLiteral("-"));
    mnuStartTimer = MenuItem(mnuPopup, "mnuStartTimer", QStringLiteral("Start Timer"));
    mnuEndTimer = MenuItem(mnuPopup, "mnuEndTimer", QStringLiteral("End Timer"));
    mnuSep2 = MenuItem(mnuPopup, "mnuSep2", QStringLiteral("-"));
    mnuQuit = MenuItem(mnuPopup, "mnuQuit", QStringLiteral("Quit"));
    mnuEndTimer->setEnabled(false);
    runningTiming = new RunningTiming(this);

    ConnectHandler(mnuViewProjects, &QAction::triggered, this, &frmMain::mnuViewProjects_Click);
    ConnectHandler(mnuStartTimer, &QAction::triggered, this, &frmMain::mnuStartTimer_Click);
    ConnectHandler(mnuEndTimer, &QAction::triggered, this, &frmMain::mnuEndTimer_Click);
    ConnectHandler(mnuQuit, &QAction::triggered, this, &frmMain::mnuQuit_Click);
    ConnectHandler(cmdSetActive, &QPushButton::clicked, this, &frmMain::cmdSetActive_Click);
    ConnectHandler(cmdViewDetail, &QPushButton::clicked, this, &frmMain::cmdViewDetail_Click);
    ConnectHandler(cmdAddNew, &QPushButton::clicked, this, &frmMain::cmdAddNew_Click);
    ConnectHandler(cmdDelete, &QPushButton::clicked, this, &frmMain::cmdDelete_Click);
    ConnectHandler(lstProject, &ListView::DblClick, this, &frmMain::lstProject_DblClick);
}

bool frmMain::IsMinimized() const
{
    return windowState().testFlag(Qt::WindowMinimized);
}

// A notification area that draws the icon's menu itself offers mnuPopup while the window is
// hidden, which it is only once minimised (Form_Resize). The hidden state alone decides, as
// an X server without a window manager's help may report the hidden window as no longer
// minimised, and then nothing would bring it back.
void frmMain::OfferPopupOnIcon()
{
    SetNotifyIconMenu(gTrayIcon, isHidden() ? mnuPopup : nullptr);
}

void frmMain::Form_Load()
{
    gProjects = std::make_unique<clsProject>();
    gConnectionString = ConnectionStringFor(GetAppPath());

    gTrayIcon.cbSize = 88;
    gTrayIcon.hWnd = WindowHandle(this);
    gTrayIcon.uID = 1;
    gTrayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    gTrayIcon.uCallbackMessage = WM_MOUSEMOVE;
    gTrayIcon.hIcon = IconHandle(this);
    gTrayIcon.SetTip(QStringLiteral("Tallyclock"));
    Shell_NotifyIconA(NIM_ADD, gTrayIcon);

    LoadProjects();
    FillProjectList();

    // Shown here rather than after loading, so that bringing it to the front has a window to act on.
    show();
    SetForegroundWindow(WindowHandle(this));
}

void frmMain::Form_Resize()
{
    // Without a notification area nothing could bring a hidden window back, so there it
    // stays minimised on the task bar.
    if (IsMinimized() && SystemTray::IsAvailable())
        hide();
}

void frmMain::Form_Unload(int& /*Cancel*/)
{
    Shell_NotifyIconA(NIM_DELETE, gTrayIcon);
    // Quit and the close box discard a running timing; the end of the session is no decision
    // of the user's, so there it stays written down for the next start.
    if (IsTiming() && !qApp->isSavingSession())
        runningTiming->Forget();
    ::frmAddProject.Unload();
    ::frmProjectDetails.Unload();
    ::frmTimePeriod.Unload();
    ::frmAway.Unload();
    ::frmMain.Unload();
    QCoreApplication::quit();
}

// The notification-area icon reports its mouse events as mouse movements over this window,
// with the mouse message in X.
void frmMain::Form_MouseMove(int /*Button*/, int /*Shift*/, int X, int /*Y*/)
{
    if (IsMinimized() && X == static_cast<int>(WM_RBUTTONUP))
        mnuPopup->exec(QCursor::pos());
}

// Without a notification area the popup menu opens from the window's own surface instead
// (X and Y in pixels).
void frmMain::Form_MouseUp(Qt::MouseButton Button, int X, int Y)
{
    if (Button == Qt::RightButton && !SystemTray::IsAvailable() && !lstProject->geometry().contains(X, Y))
        mnuPopup->exec(QCursor::pos());
}

void frmMain::mnuViewProjects_Click()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void frmMain::mnuStartTimer_Click()
{
    gStartTime = CurrentMoment();
    TimingRuns();
}

void frmMain::mnuEndTimer_Click()
{
    StoreTimingAndEnd(CurrentMoment());
}

bool frmMain::IsTiming() const
{
    return mnuEndTimer->isEnabled();
}

void frmMain::StoreTimingAndGoOn(double end, double restart)
{
    StoreTimingPeriod(end);
    gStartTime = restart;
    TimingRuns();
    RefreshProjectList();
}

void frmMain::StoreTimingAndEnd(double end)
{
    StoreTimingPeriod(end);
    AwayTimingEnded();
    ShowTimer(false, QStringLiteral("Tallyclock - Idle"));
    runningTiming->Forget();
    RefreshProjectList();
}

// A failure to store the period leaves the timing running, so that it can be ended again; once
// the period is stored the timing is over, whatever fails after.
void frmMain::StoreTimingPeriod(double end)
{
    gEndTime = end;
    RunStep([] { AddTimePeriodRecord(gActiveProjectID, gStartTime, gEndTime); },
            QStringLiteral("The period was not stored: the timing is still running and can be ended again once "
                           "the database is reachable."));
}

// The timing runs for gActiveProjectID since gStartTime, just begun or changed.
void frmMain::TimingRuns()
{
    ShowTimer(true, QStringLiteral("Tallyclock - Timing since ") + GeneralDateText(gStartTime));
    runningTiming->WriteDown();
    AwayTimingStarted(this, runningTiming);
}

// The menu, the icons and the tooltip tell whether a timing runs.
void frmMain::ShowTimer(bool running, const QString& tip)
{
    mnuStartTimer->setEnabled(!running);
    mnuEndTimer->setEnabled(running);
    setWindowIcon(ProgramIcon(running));
    gTrayIcon.SetTip(tip);
    Shell_NotifyIconA(NIM_MODIFY, gTrayIcon);
}

void frmMain::RefreshProjectList()
{
    RunStep(
        [] {
            LoadProjects();
            FillProjectList();
        },
        QStringLiteral("The period was stored, but the list of projects could not be refreshed."));
}

void frmMain::AskAboutUnendedTiming()
{
    const std::optional<WrittenTiming> timing = ReadTimingFile(DataFolder());
    if (!timing)
        return;
    // A deleted project's timing could only be stored for a project that no list shows.
    const bool known = timing->projectID != 0 && gProjects->GotoID(timing->projectID);
    const QString ran = QStringLiteral(" was not ended; the program last ran at %1.")
                            .arg(GeneralDateText(timing->lastSeen));
    const QString prompt = known
        ? QStringLiteral("A timing of %1 that started on %2").arg(gProjects->Name(), GeneralDateText(timing->start))
            + ran
        : QStringLiteral("A timing that started on %1").arg(GeneralDateText(timing->start)) + ran
            + QStringLiteral(" The project it was for (ID %1) does not exist, so it can only be discarded.")
                  .arg(timing->projectID);
    const ButtonCaptions captions{
        {QMessageBox::Save, QStringLiteral("&Store until ") + ShortTimeText(timing->lastSeen)},
        {QMessageBox::Yes, QStringLiteral("&Resume timing")},
        {QMessageBox::Discard, QStringLiteral("&Discard")}};
    const auto answers = known ? QMessageBox::Save | QMessageBox::Yes | QMessageBox::Discard : QMessageBox::Discard;
    bool stored = false;
    // A period that cannot be stored is asked about again.
    for (;;) {
        const auto answer = MsgBox(prompt, answers, QStringLiteral("Timing not ended"), QMessageBox::NoIcon, captions);
        if (answer != QMessageBox::Save && answer != QMessageBox::Yes)
            return runningTiming->Forget();
        if (answer == QMessageBox::Yes)
            break;
        RunHandler([&timing, &stored] {
            AddTimePeriodRecord(timing->projectID, timing->start, timing->lastSeen);
            stored = true;
        });
        if (stored)
            break;
    }
    // Stored, it ends as if End Timer had been chosen then; resumed, it runs on. Either way its
    // project is the active one.
    gActiveProjectID = timing->projectID;
    lblActiveProject->setText(gProjects->Name());
    gStartTime = timing->start;
    if (!stored)
        return TimingRuns();
    gEndTime = timing->lastSeen;
    ShowTimer(false, QStringLiteral("Tallyclock - Idle"));
    runningTiming->Forget();
    RefreshProjectList();
}

void frmMain::mnuQuit_Click()
{
    close();
}

void frmMain::cmdAddNew_Click()
{
    ::frmAddProject().txtName->clear();
    ::frmAddProject().txtDescription->clear();
    ::frmAddProject().exec();
    LoadProjects();
    FillProjectList();
}

void frmMain::cmdDelete_Click()
{
    const auto id = SelectedID(*lstProject);
    if (!id)
        return;
    // Its timing could only be stored for a project that no longer exists.
    if (IsTiming() && *id == gActiveProjectID) {
        MsgBox(QStringLiteral("This project is being timed. End the timer before you delete it."), QMessageBox::Ok,
               QStringLiteral("Tallyclock"));
        return;
    }
    if (MsgBox(QStringLiteral("Are you sure you want to delete this Project?"), QMessageBox::Ok | QMessageBox::Cancel,
               QStringLiteral("Confirm"))
        != QMessageBox::Ok)
        return;
    DeleteProjectRecord(*id);
    LoadProjects();
    FillProjectList();
}

// While a timing runs for another project, the time so far may go to that project, and the
// timing start again for this one; otherwise the whole timing goes to this one when it ends.
void frmMain::cmdSetActive_Click()
{
    const auto id = SelectedID(*lstProject);
    if (!id)
        return;
    bool restart = false;
    if (IsTiming() && *id != gActiveProjectID && gProjects->GotoID(gActiveProjectID)) {
        const QString timed = gProjects->Name();
        gProjects->GotoID(*id);
        const auto answer = MsgBox(
            QStringLiteral("A timing for %1 runs since %2. Book the time so far to %1 and go on timing %3?")
                .arg(timed, ShortTimeText(gStartTime), gProjects->Name()),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QStringLiteral("Confirm"));
        if (answer != QMessageBox::Yes && answer != QMessageBox::No)
            return;
        restart = answer == QMessageBox::Yes;
        if (restart)
            StoreTimingPeriod(CurrentMoment());
    }
    gActiveProjectID = *id;
    gProjects->GotoID(gActiveProjectID);
    lblActiveProject->setText(gProjects->Name());
    if (!IsTiming())
        return;
    if (restart)
        gStartTime = gEndTime;
    TimingRuns();
    if (restart)
        RefreshProjectList();
}

void frmMain::cmdViewDetail_Click()
{
    const auto id = SelectedID(*lstProject);
    if (!id)
        return;
    LoadTimePeriods(*id);
    gProjects->GotoID(*id);
    frmProjectDetails& details = ::frmProjectDetails();
    details.lblProject->setText(gProjects->Name());
    details.lblDescription->setText(gProjects->Description());
    details.exec();
}

void frmMain::lstProject_DblClick()
{
    cmdViewDetail_Click();
}

bool frmMain::event(QEvent* event)
{
    if (event->type() == TrayCallbackEvent::EventType()) {
        const auto* callback = static_cast<TrayCallbackEvent*>(event);
        if (callback->message == WM_MOUSEMOVE)
            RunHandler([this, callback] { Form_MouseMove(0, 0, static_cast<int>(callback->lParam), 0); });
        return true;
    }
    return QWidget::event(event);
}

void frmMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        RunHandler([this] { Form_Resize(); });
        OfferPopupOnIcon();
    }
}

void frmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    OfferPopupOnIcon();
}

void frmMain::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    OfferPopupOnIcon();
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    RunHandler([this] { Form_Resize(); });
}

void frmMain::closeEvent(QCloseEvent* event)
{
    int cancel = 0;
    RunHandler([this, &cancel] { Form_Unload(cancel); });
    event->accept();
}

void frmMain::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    RunHandler([this, event, at] { Form_MouseUp(event->button(), at.x(), at.y()); });
}

} // namespace forms
