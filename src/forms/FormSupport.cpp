#include "forms/FormSupport.h"

#include "modules/modGlobal.h"
#include "platform/ListView.h"
#include "platform/ProgramIcon.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

// A dialog that the window manager minimises comes straight back: the window beneath waits on
// it, and with no task bar entry of its own nothing else would bring it back.
class KeepRestored : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* dialog = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::WindowStateChange && dialog->isMinimized())
            QTimer::singleShot(0, dialog,
                               [dialog] { dialog->setWindowState(dialog->windowState() & ~Qt::WindowMinimized); });
        return false;
    }
};

// A fixed border with a title and a close button: no maximising; only the main window
// minimises (into the notification area).
void SetFrame(QWidget* window)
{
    const Qt::WindowType type = window->windowType();
    window->setWindowFlags(type | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint
                           | (type == Qt::Window ? Qt::WindowMinimizeButtonHint : Qt::MSWindowsFixedSizeDialogHint));
    if (type == Qt::Dialog)
        window->installEventFilter(new KeepRestored(window));
}

} // namespace

void SetUpApplication()
{
    // For the message boxes; the forms set it themselves.
    QApplication::setWindowIcon(ProgramIcon());
    // The layouts are made for an 8-point sans serif of Helvetica's widths; a wider font would
    // not fit the labels and buttons. Set for the whole application, it replaces the desktop's
    // own fonts for menus, tooltips and message boxes as well.
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Helvetica"), font.family()});
    font.setPointSize(8);
    QApplication::setFont(font);
}

void SetUpForm(QWidget* form, const char* name, const QString& caption, int width, int height)
{
    form->setObjectName(QLatin1String(name));
    form->setWindowTitle(caption);
    form->setWindowIcon(ProgramIcon());
    form->setFixedSize(Twips(width), Twips(height));
    SetFrame(form);
}

QLabel* PlaceLabel(QWidget* parent, const char* name, const QString& caption, int left, int top, int width, int height,
                   Qt::Alignment horizontal)
{
    auto* label = Place<QLabel>(parent, name, left, top, width, height);
    // Names and descriptions are shown as typed, never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(horizontal | Qt::AlignTop);
    // A label higher than one line (255) wraps; a one-line label cut short stays readable.
    label->setWordWrap(height > 255);
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

namespace {

// The innermost HeldMessages, if one exists.
HeldMessages* gHeld = nullptr;

} // namespace

HeldMessages::HeldMessages(QMessageBox::StandardButton answer) : answer_(answer), outer_(gHeld)
{
    gHeld = this;
}

HeldMessages::~HeldMessages()
{
    gHeld = outer_;
    if (!told.isEmpty())
        QTimer::singleShot(0, qApp, [told = told] {
            for (const Message& m : told)
                MsgBox(m.prompt, QMessageBox::Ok, m.title, m.icon);
        });
}

QMessageBox::StandardButton HeldMessages::Take(const QString& prompt, QMessageBox::StandardButtons buttons,
                                               const QString& title, QMessageBox::Icon icon)
{
    if (buttons == QMessageBox::Ok) {
        told.append({prompt, title, icon});
        return QMessageBox::Ok;
    }
    asked.append(prompt);
    return buttons.testFlag(answer_) ? answer_ : QMessageBox::Cancel;
}

QMessageBox::StandardButton MsgBox(const QString& prompt, QMessageBox::StandardButtons buttons, const QString& title,
                                   QMessageBox::Icon icon, const ButtonCaptions& captions)
{
    if (gHeld)
        return gHeld->Take(prompt, buttons, title, icon);
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(icon, title, prompt, buttons, parent);
    SetFrame(&box);
    box.setTextFormat(Qt::PlainText);
    for (const auto& [button, caption] : captions)
        if (QAbstractButton* shown = box.button(button))
            shown->setText(caption);
    if (buttons.testFlag(QMessageBox::Ok))
        box.setDefaultButton(QMessageBox::Ok);
    else if (!captions.isEmpty() && box.button(captions.front().first))
        box.setDefaultButton(captions.front().first);
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
