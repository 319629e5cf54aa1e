#pragma once

#include "forms/FormSupport.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace forms {

// The start and end of a time period, typed as text. Tag "NEW" adds a period to the project
// selected in the main window; "MOD" and the period's ID changes the period selected in the
// details dialog.
class frmTimePeriod : public QDialog
{
    Q_OBJECT

public:
    explicit frmTimePeriod(FormKey);

    QLineEdit* txtStartTime;
    QLineEdit* txtEndTime;
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* cmdSave;
    QPushButton* cmdCancel;

    // The mode, set by the caller before every showing.
    QString Tag;

    void cmdSave_Click();
    void cmdCancel_Click();

    // Closing from the title bar acts as Cancel.
    void reject() override;
};

} // namespace forms

inline FormInstance<forms::frmTimePeriod> frmTimePeriod;
