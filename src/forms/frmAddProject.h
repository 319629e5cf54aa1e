#pragma once

#include "forms/FormSupport.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace forms {

// The name and description of a new project.
class frmAddProject : public QDialog
{
    Q_OBJECT

public:
    explicit frmAddProject(FormKey);

    QPushButton* cmdAdd;
    QPushButton* cmdCancel;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* txtName;
    QPlainTextEdit* txtDescription;

    void cmdAdd_Click();
    void cmdCancel_Click();

    // Closing from the title bar acts as Cancel.
    void reject() override;
};

} // namespace forms

inline FormInstance<forms::frmAddProject> frmAddProject;
