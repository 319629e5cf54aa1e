#include "forms/FormSupport.h"

#include "modules/modGlobal.h"
#include "platform/ListView.h"
#include "platform/ProgramIcon.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

void SetUpForm(QWidget* form, const char* name, const QString& caption, int width, int height)
{
    form->setObjectName(QLatin1String(name));
    form->setWindowTitle(caption);
    form->setWindowIcon(ProgramIcon());
    form->setFixedSize(Twips(width), Twips(height));
    // A fixed border: no maximising; only the main window minimises (into the notification area).
    const Qt::WindowType type = form->windowType();
    form->setWindowFlags(type | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint | (type == Qt::Window ? Qt::WindowMinimizeButtonHint : Qt::Widget));
    // The layouts are made for an 8-point sans serif of Helvetica's widths; a wider font would
    // not fit the labels and buttons.
    QFont font = form->font();
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Helvetica"), font.family()});
    font.setPointSize(8);
    form->setFont(font);
}

QLabel* PlaceLabel(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                   int height, Qt::Alignment horizontal)
{
    auto* label = Place<QLabel>(parent, name, left, top, width, height);
    // Names and descriptions are shown as typed, never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(horizontal | Qt::AlignTop);
    // Only a label of two lines or more wraps: a one-line label cut short stays readable.
    label->setWordWrap(height >= 2 * 255);
    label->setText(caption);
    return label;
}

QPushButton* PlaceButton(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                         int height)
{
    auto* button = Place<QPushButton>(parent, name, left, top, width, height);
    button->setText(caption);
    // No button of the program answers the Enter key by itself.
    button->setAutoDefault(false);
    return button;
}

QMessageBox::StandardButton MsgBox(const QString& prompt, QMessageBox::StandardButtons buttons, const QString& title,
                                   QMessageBox::Icon icon)
{
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(icon, title, prompt, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (buttons.testFlag(QMessageBox::Ok))
        box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return box.standardButton(box.clickedButton());
}

std::optional<qint32> SelectedID(const ListView& list)
{
    const QTreeWidgetItem* item = list.SelectedItem();
    if (!item)
        return std::nullopt;
    return IDFromKey(ListView::Key(item));
}
