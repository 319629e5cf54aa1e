#pragma once

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>
#include <utility>

class ListView;
class QLabel;
class QPushButton;
class QWidget;

// Layouts are given in twips: 15 make one device-independent pixel.
constexpr int Twips(int twips)
{
    return (twips + 7) / 15;
}

// Only FormInstance makes a form, so that each window exists once.
class FormKey
{
    template <class>
    friend class FormInstance;
    FormKey() = default;
};

// The one window of a form: created on first use, reached by the form's name
// (frmMain().lstProject), destroyed by Unload and created afresh by the next use.
template <class Form>
class FormInstance
{
public:
    Form& operator()()
    {
        if (!form_)
            form_ = new Form(FormKey());
        return *form_;
    }
    bool IsLoaded() const { return !form_.isNull(); }
    // The window goes once control is back in the event loop, so a form may unload itself
    // from its own handler, and a dialog may be unloaded while it is shown modally.
    void Unload()
    {
        if (Form* form = form_.data()) {
            form_.clear();
            form->hide();
            form->deleteLater();
        }
    }

private:
    QPointer<Form> form_;
};

// The program's look, set once for the whole application before its first window: the icon,
// and the one font of every window, menu, tooltip and message box.
void SetUpApplication();

// The window's name, caption, client size (twips), icon; its size and border are fixed.
void SetUpForm(QWidget* form, const char* name, const QString& caption, int width, int height);

// A control named after its form's control, at its place in twips.
template <class Control>
Control* Place(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* control = new Control(parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
    return control;
}

// A label shows its caption as plain text from its top edge, wrapping where it is high enough.
QLabel* PlaceLabel(QWidget* parent, const char* name, const QString& caption, int left, int top, int width, int height,
                   Qt::Alignment horizontal = Qt::AlignLeft);
QPushButton* PlaceButton(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                         int height);

// Captions of a message box's buttons in place of their standard ones.
using ButtonCaptions = QList<std::pair<QMessageBox::StandardButton, QString>>;

// A message box over the active window: the text, the title, the buttons (OK is the default
// one, else the first captioned one) and an icon or none. Returns the button pressed; closing
// the box answers Cancel, or OK where that is the only button; without either it cannot be
// closed unanswered.
QMessageBox::StandardButton MsgBox(const QString& prompt, QMessageBox::StandardButtons buttons, const QString& title,
                                   QMessageBox::Icon icon = QMessageBox::NoIcon, const ButtonCaptions& captions = {});

// While one exists, MsgBox shows nothing at once: for a command given from outside the window,
// whose caller waits for the answer and cannot see a box. A question (a box with more than OK)
// is answered with the given button where it offers that one, else with Cancel, and noted in
// asked. A box with OK alone answers OK, is noted in told, and is shown once this has gone and
// the program is back in its event loop.
class HeldMessages
{
public:
    struct Message
    {
        QString prompt;
        QString title;
        QMessageBox::Icon icon;
    };

    explicit HeldMessages(QMessageBox::StandardButton answer);
    ~HeldMessages();
    HeldMessages(const HeldMessages&) = delete;
    HeldMessages& operator=(const HeldMessages&) = delete;

    QMessageBox::StandardButton Take(const QString& prompt, QMessageBox::StandardButtons buttons, const QString& title,
                                     QMessageBox::Icon icon);

    QStringList asked;
    QList<Message> told;

private:
    QMessageBox::StandardButton answer_;
    HeldMessages* outer_;
};

// The ID in the key of the list's selected entry; none when no entry is selected.
std::optional<qint32> SelectedID(const ListView& list);
