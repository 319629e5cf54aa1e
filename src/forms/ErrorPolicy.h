#pragma once

#include <QObject>
#include <QString>

#include <functional>

// The one place where errors become messages. Every handler runs through RunHandler: an error
// shows its text in a critical box titled "Tallyclock" and abandons the command at the failing
// step, and the program goes on. No exception ever reaches Qt's event loop, whose code is built
// without exception support. While a handler runs it shows the busy cursor, except while a
// window it opened waits on the user.
void RunHandler(const std::function<void()>& handler) noexcept;

// One step of a handler: an error in it goes on with what it means for the user added to its
// message (what has been done, what is left to do).
void RunStep(const std::function<void()>& step, const QString& consequence);

// The start-up: on an error the notification-area icon is removed and the message shown; the
// result is false, and the program then ends with a non-zero status.
bool RunStartup(const std::function<void()>& startup) noexcept;

// Connects a signal to a form's handler through RunHandler.
template <class Sender, class Signal, class Form>
void ConnectHandler(Sender* sender, Signal signal, Form* form, void (Form::*handler)())
{
    QObject::connect(sender, signal, form, [form, handler] { RunHandler([form, handler] { (form->*handler)(); }); });
}
