#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the modal windows and popup menus that the code under test opens. Each window that
// comes to the top takes the next step, run from the event loop so that it may open further
// windows. A window without a step, or one left on top for seconds, is closed, so that a test
// never hangs; finished() is then false.
class ModalAnswers : public QObject
{
public:
    using Step = std::function<void(QWidget*)>;

    ModalAnswers();
    ModalAnswers& then(Step step)
    {
        steps_.append(std::move(step));
        return *this;
    }
    bool finished() const { return steps_.isEmpty() && !closedAny_; }

    // Each window that came to the top: a message box as "title|text|buttons" (in hexadecimal),
    // another window by its object name.
    QStringList seen;

    static Step press(QMessageBox::StandardButton button);
    // Chooses a popup menu's item; closes the menu when the item is disabled.
    static Step choose(const char* item);

private:
    void Poll();

    QTimer timer_;
    QElapsedTimer onTop_;
    QPointer<QWidget> top_;
    QList<QPointer<QWidget>> running_; // their step has not returned yet
    QList<Step> steps_;
    bool closedAny_ = false;
};
