#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the modal windows and popup menus that the code under test opens. Each time another
// window comes to the top, the next step runs on it from the event loop, so that a step may
// open further modal windows. A window left on top for seconds, or one without a step, is
// closed, so that a test never hangs; finished() is then false.
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

    // Each window that came to the top: a message box as "title|text|buttons" (the default
    // button first, in hexadecimal), another window by its object name.
    QStringList seen;

    static Step press(QMessageBox::StandardButton button);
    // Chooses a popup menu's item; closes the menu when the item is disabled.
    static Step choose(const char* item);

protected:
    // A window hidden and shown again (the same menu twice) is a new one.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Poll();

    QTimer timer_;
    QElapsedTimer onTop_;
    QPointer<QWidget> top_;
    QList<QPointer<QWidget>> answered_; // their step still runs, or they were closed
    QList<Step> steps_;
    bool closedAny_ = false;
};
