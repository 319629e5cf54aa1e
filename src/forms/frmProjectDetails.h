#pragma once

#include "forms/FormSupport.h"

#include <QDialog>

class ListView;
class QFrame;
class QLabel;
class QPushButton;

namespace forms {

// One project with its time periods; adds, changes and deletes periods. The project is the
// one selected in the main window's list, which the dialog keeps selected across its refreshes.
class frmProjectDetails : public QDialog
{
    Q_OBJECT

public:
    explicit frmProjectDetails(FormKey);

    QPushButton* cmdModifyTimePeriod;
    QPushButton* cmdDeleteTimePeriod;
    QFrame* Frame1;
    QLabel* Label1;
    QLabel* lblProject;
    QLabel* Label2;
    QLabel* lblDescription;
    ListView* lstTimePeriods;
    QPushButton* cmdOK;
    QPushButton* cmdNewTimePeriod;

    void cmdNewTimePeriod_Click();
    void cmdModifyTimePeriod_Click();
    void cmdDeleteTimePeriod_Click();
    void cmdOK_Click();
    void lstTimePeriods_DblClick();

    // Closing from the title bar acts as OK.
    void reject() override;

private:
    void Refresh();
};

} // namespace forms

inline FormInstance<forms::frmProjectDetails> frmProjectDetails;
