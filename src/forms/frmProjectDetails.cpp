#include "forms/frmProjectDetails.h"

#include "forms/ErrorPolicy.h"
#include "forms/frmMain.h"
#include "forms/frmTimePeriod.h"
#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "platform/AppError.h"
#include "platform/Database.h"
#include "platform/ListView.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace forms {

// The controls are made in their tab order, which gives the focus chain.
frmProjectDetails::frmProjectDetails(FormKey)
{
    SetUpForm(this, "frmProjectDetails", QStringLiteral("Project Details"), 9495, 4395);

    cmdModifyTimePeriod = PlaceButton(this, "cmdModifyTimePeriod", QStringLiteral("Modify Time Period"), 3120, 3960,
                                      1575, 375);
    cmdDeleteTimePeriod = PlaceButton(this, "cmdDeleteTimePeriod", QStringLiteral("Delete Time Period"), 4800, 3960,
                                      1575, 375);
    Frame1 = Place<QFrame>(this, "Frame1", 120, 120, 9255, 855);
    Label1 = PlaceLabel(Frame1, "Label1", QStringLiteral("Project"), 240, 0, 615, 255, Qt::AlignRight);
    lblProject = PlaceLabel(Frame1, "lblProject", QString(), 960, 0, 8055, 255);
    Label2 = PlaceLabel(Frame1, "Label2", QStringLiteral("Description"), 0, 360, 855, 255, Qt::AlignRight);
    lblDescription = PlaceLabel(Frame1, "lblDescription", QString(), 960, 360, 8295, 495);
    lstTimePeriods = Place<ListView>(this, "lstTimePeriods", 120, 1080, 9255, 2775);
    lstTimePeriods->SetColumns(
        {{QStringLiteral("Start Time"), Twips(3000)}, {QStringLiteral("End Time"), Twips(3000)}});
    cmdOK = PlaceButton(this, "cmdOK", QStringLiteral("OK"), 6480, 3960, 1575, 375);
    cmdNewTimePeriod = PlaceButton(this, "cmdNewTimePeriod", QStringLiteral("New Time Period"), 1440, 3960, 1575, 375);

    ConnectHandler(cmdNewTimePeriod, &QPushButton::clicked, this, &frmProjectDetails::cmdNewTimePeriod_Click);
    ConnectHandler(cmdModifyTimePeriod, &QPushButton::clicked, this, &frmProjectDetails::cmdModifyTimePeriod_Click);
    ConnectHandler(cmdDeleteTimePeriod, &QPushButton::clicked, this, &frmProjectDetails::cmdDeleteTimePeriod_Click);
    ConnectHandler(cmdOK, &QPushButton::clicked, this, &frmProjectDetails::cmdOK_Click);
    ConnectHandler(lstTimePeriods, &ListView::DblClick, this, &frmProjectDetails::lstTimePeriods_DblClick);
}

// The project is the entry selected in the main window's list. Refilling that list selects
// nothing, so the entry is selected again: the dialog's later actions and the editor's add
// mode take their project from it.
void frmProjectDetails::Refresh()
{
    ListView& projects = *::frmMain().lstProject;
    const auto projectID = SelectedID(projects);
    if (!projectID)
        throw AppError("No project is selected in the main window.");
    LoadTimePeriods(*projectID);
    LoadProjects();
    FillProjectList();
    projects.Select(projects.Find(KeyFromID(*projectID)));
}

void frmProjectDetails::cmdNewTimePeriod_Click()
{
    frmTimePeriod& editor = ::frmTimePeriod();
    editor.txtStartTime->clear();
    editor.txtEndTime->clear();
    editor.Tag = QStringLiteral("NEW");
    editor.exec();
    Refresh();
}

void frmProjectDetails::cmdModifyTimePeriod_Click()
{
    const QTreeWidgetItem* period = lstTimePeriods->SelectedItem();
    if (!period)
        return;
    frmTimePeriod& editor = ::frmTimePeriod();
    editor.txtStartTime->setText(period->text(0));
    editor.txtEndTime->setText(period->text(1));
    editor.Tag = QStringLiteral("MOD") + QString::number(IDFromKey(ListView::Key(period)));
    editor.exec();
    Refresh();
}

void frmProjectDetails::cmdDeleteTimePeriod_Click()
{
    Connection cn;
    cn.Open(gConnectionString);
    if (const auto periodID = SelectedID(*lstTimePeriods))
        cn.Execute(QStringLiteral("DELETE FROM tblTimePeriod WHERE TimePeriodID=") + QString::number(*periodID));
    cn.Close();
    Refresh();
}

void frmProjectDetails::cmdOK_Click()
{
    hide();
}

void frmProjectDetails::lstTimePeriods_DblClick()
{
    cmdModifyTimePeriod_Click();
}

void frmProjectDetails::reject()
{
    RunHandler([this] { cmdOK_Click(); });
}

} // namespace forms
