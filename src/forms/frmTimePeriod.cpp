#include "forms/frmTimePeriod.h"

#include "forms/ErrorPolicy.h"
#include "forms/frmMain.h"
#include "forms/frmProjectDetails.h"
#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "platform/AppError.h"
#include "platform/Database.h"
#include "platform/ListView.h"
#include "platform/Regional.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace forms {

namespace {

// The ID of the entry selected in a list the editor relies on; the dialogs beneath keep one selected.
qint32 RequiredID(const ListView& list)
{
    const auto id = SelectedID(list);
    if (!id)
        throw AppError(QStringLiteral("No entry is selected in the list \"%1\".").arg(list.objectName()).toStdString());
    return *id;
}

} // namespace

// The controls are made in their tab order, which gives the focus chain.
frmTimePeriod::frmTimePeriod(FormKey)
{
    SetUpForm(this, "frmTimePeriod", QStringLiteral("Time Period"), 2400, 2040);

    txtStartTime = Place<QLineEdit>(this, "txtStartTime", 120, 360, 2055, 285);
    txtEndTime = Place<QLineEdit>(this, "txtEndTime", 120, 1080, 2055, 285);
    Label1 = PlaceLabel(this, "Label1", QStringLiteral("Start Time"), 120, 120, 2055, 255);
    Label2 = PlaceLabel(this, "Label2", QStringLiteral("End Time"), 120, 840, 2055, 255);
    cmdSave = PlaceButton(this, "cmdSave", QStringLiteral("Save"), 120, 1560, 1095, 375);
    cmdCancel = PlaceButton(this, "cmdCancel", QStringLiteral("Cancel"), 1200, 1560, 1095, 375);

    ConnectHandler(cmdSave, &QPushButton::clicked, this, &frmTimePeriod::cmdSave_Click);
    ConnectHandler(cmdCancel, &QPushButton::clicked, this, &frmTimePeriod::cmdCancel_Click);
}

// The texts go into the statement as typed: the database reads them back by the same rules
// that accepted them here.
void frmTimePeriod::cmdSave_Click()
{
    const QString startTime = txtStartTime->text();
    const QString endTime = txtEndTime->text();
    const auto start = ReadDateText(startTime), end = ReadDateText(endTime);
    if (!start || !end) {
        MsgBox(QStringLiteral("You must enter valid dates"), QMessageBox::Ok, QStringLiteral("Tallyclock"));
        return;
    }
    // Such a period would lower the project's total. One stored so before still loads as it is.
    if (*end < *start) {
        MsgBox(QStringLiteral("The end must not be before the start."), QMessageBox::Ok, QStringLiteral("Tallyclock"));
        return;
    }
    Connection cn;
    cn.Open(gConnectionString);
    if (Tag == QLatin1String("NEW")) {
        const qint32 projectID = RequiredID(*::frmMain().lstProject);
        cn.Execute(TimePeriodInsertSql(projectID, startTime, endTime));
    }
    if (Tag.startsWith(QLatin1String("MOD"))) {
        const qint32 periodID = RequiredID(*::frmProjectDetails().lstTimePeriods);
        cn.Execute(QStringLiteral("UPDATE tblTimePeriod SET StartTime=#") + startTime + QStringLiteral("#, EndTime=#")
                   + endTime + QStringLiteral("# WHERE TimePeriodID=") + QString::number(periodID));
    }
    cn.Close();
    hide();
}

void frmTimePeriod::cmdCancel_Click()
{
    hide();
}

void frmTimePeriod::reject()
{
    RunHandler([this] { cmdCancel_Click(); });
}

} // namespace forms
