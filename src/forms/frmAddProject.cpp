#include "forms/frmAddProject.h"

#include "forms/ErrorPolicy.h"
#include "modules/modGlobal.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QValidator>

namespace forms {

namespace {

// The box's maximum length counts UTF-16 units, so a text cut to it may end in half of a
// character; that half goes too.
class WholeCharacters : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override
    {
        if (pos > 0 && input.at(pos - 1).isHighSurrogate() && (pos == input.size() || !input.at(pos).isLowSurrogate()))
            input.remove(--pos, 1);
        return Acceptable;
    }
};

} // namespace

// The controls are made in their tab order, which gives the focus chain.
frmAddProject::frmAddProject(FormKey)
{
    SetUpForm(this, "frmAddProject", QStringLiteral("Add Project"), 5370, 1500);

    cmdAdd = PlaceButton(this, "cmdAdd", QStringLiteral("Add"), 1320, 1080, 1335, 375);
    cmdCancel = PlaceButton(this, "cmdCancel", QStringLiteral("Cancel"), 2760, 1080, 1335, 375);
    Label1 = PlaceLabel(this, "Label1", QStringLiteral("Name"), 120, 120, 855, 255, Qt::AlignRight);
    Label2 = PlaceLabel(this, "Label2", QStringLiteral("Description"), 120, 480, 855, 255, Qt::AlignRight);
    txtName = Place<QLineEdit>(this, "txtName", 1080, 120, 4215, 285);
    txtName->setMaxLength(50);
    txtName->setValidator(new WholeCharacters(txtName));
    txtDescription = Place<QPlainTextEdit>(this, "txtDescription", 1080, 480, 4215, 495);
    // Tab leaves the box, as in every other box of the program.
    txtDescription->setTabChangesFocus(true);

    ConnectHandler(cmdAdd, &QPushButton::clicked, this, &frmAddProject::cmdAdd_Click);
    ConnectHandler(cmdCancel, &QPushButton::clicked, this, &frmAddProject::cmdCancel_Click);
}

void frmAddProject::cmdAdd_Click()
{
    if (txtName->text().isEmpty())
        return;
    AddProjectRecord(txtName->text(), txtDescription->toPlainText());
    LoadProjects();
    hide();
}

void frmAddProject::cmdCancel_Click()
{
    hide();
}

void frmAddProject::reject()
{
    RunHandler([this] { cmdCancel_Click(); });
}

} // namespace forms
