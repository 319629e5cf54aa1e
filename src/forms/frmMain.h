#pragma once

#include "forms/FormSupport.h"

#include <QWidget>

class ListView;
class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class RunningTiming;

namespace forms {

// The main window: the projects with their total times, the active project, the project
// commands, and the popup menu of the notification-area icon with the timer commands.
class frmMain : public QWidget
{
    Q_OBJECT

public:
    explicit frmMain(FormKey);

    QFrame* fraActiveProject;
    QLabel* Label1;
    QLabel* lblActiveProject;
    ListView* lstProject;
    QPushButton* cmdSetActive;
    QPushButton* cmdViewDetail;
    QPushButton* cmdAddNew;
    QPushButton* cmdDelete;

    // Never shown as a menu bar; only opened as a popup.
    QMenu* mnuPopup;
    QAction* mnuViewProjects;
    QAction* mnuSep1;
    QAction* mnuStartTimer;
    QAction* mnuEndTimer;
    QAction* mnuSep2;
    QAction* mnuQuit;

    // The running timing on disk, and the minute's tick while it runs.
    RunningTiming* runningTiming;

    void Form_Load();
    void Form_Resize();
    void Form_Unload(int& Cancel);
    void Form_MouseMove(int Button, int Shift, int X, int Y);
    void Form_MouseUp(Qt::MouseButton Button, int X, int Y);

    void mnuViewProjects_Click();
    void mnuStartTimer_Click();
    void mnuEndTimer_Click();
    void mnuQuit_Click();

    void cmdAddNew_Click();
    void cmdDelete_Click();
    void cmdSetActive_Click();
    void cmdViewDetail_Click();
    void lstProject_DblClick();

    // Whether a timing runs: "End Timer" can be chosen.
    bool IsTiming() const;
    // Stores the running timing's period, from its start to end, for the project it runs for,
    // as End Timer does. Then the timing goes on from restart, or it ends. A failed store shows
    // its error (through the error policy, as an AppError) and leaves the timing running as it
    // was.
    void StoreTimingAndGoOn(double end, double restart);
    void StoreTimingAndEnd(double end);
    // At start-up: a timing that the program was ended in the middle of, without the user's
    // decision (a crash, a kill, the end of the session), is stored until the program was last
    // seen, resumed or discarded, as the user answers.
    void AskAboutUnendedTiming();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool IsMinimized() const;
    void OfferPopupOnIcon();
    void StoreTimingPeriod(double end);
    void TimingRuns();
    void ShowTimer(bool running, const QString& tip);
    void RefreshProjectList();
};

} // namespace forms

inline FormInstance<forms::frmMain> frmMain;
