#pragma once

#include "forms/FormSupport.h"

#include <QWidget>

class ListView;
class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;

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
};

} // namespace forms

inline FormInstance<forms::frmMain> frmMain;
