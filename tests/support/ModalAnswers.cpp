#include "ModalAnswers.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace {

QString Describe(QWidget* window)
{
    const auto* box = qobject_cast<QMessageBox*>(window);
    if (!box)
        return window->objectName();
    QStringList buttons;
    for (QAbstractButton* button : box->buttons()) {
        const QString name = QString::number(box->standardButton(button), 16);
        button == static_cast<QAbstractButton*>(box->defaultButton()) ? buttons.prepend(name) : buttons.append(name);
    }
    return box->windowTitle() + '|' + box->text() + '|' + buttons.join(',');
}

} // namespace

ModalAnswers::ModalAnswers()
{
    connect(&timer_, &QTimer::timeout, this, &ModalAnswers::Poll);
    timer_.start(5);
}

bool ModalAnswers::eventFilter(QObject* watched, QEvent* event)
{
    // Hidden, it is done with: shown again, it counts as a new window.
    if (event->type() == QEvent::Hide)
        answered_.removeAll(static_cast<QWidget*>(watched));
    return false;
}

void ModalAnswers::Poll()
{
    QWidget* top = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                     : QApplication::activeModalWidget();
    if (top != top_) {
        top_ = top;
        onTop_.start();
    }
    if (!top)
        return;
    // A window whose step is still running that comes back to the top (a dialog whose editor
    // closed) takes no other step; it is only closed when it stays on top for seconds.
    const bool answered = answered_.contains(top);
    if (answered && onTop_.elapsed() < 5000)
        return;
    top->installEventFilter(this); // installed again, it is still there once
    if (!answered)
        answered_.append(top);
    if (answered || steps_.isEmpty()) {
        closedAny_ = true;
        seen << "closed:" + Describe(top);
        onTop_.start();
        QTimer::singleShot(0, top, [top] {
            auto* dialog = qobject_cast<QDialog*>(top);
            dialog ? dialog->reject() : void(top->close());
        });
        return;
    }
    seen << Describe(top);
    // From a timer of its own: the step may block in a modal window that this poll must answer.
    // Once the step has returned, the window may take the next one.
    QTimer::singleShot(0, top, [self = QPointer<ModalAnswers>(this), top, step = steps_.takeFirst()] {
        step(top);
        if (self)
            self->answered_.removeAll(top);
    });
}

ModalAnswers::Step ModalAnswers::press(QMessageBox::StandardButton button)
{
    return [button](QWidget* window) {
        auto* box = qobject_cast<QMessageBox*>(window);
        QVERIFY2(box && box->button(button), qPrintable(Describe(window)));
        box->button(button)->click();
    };
}

ModalAnswers::Step ModalAnswers::choose(const char* item)
{
    return [item](QWidget* window) {
        auto* menu = qobject_cast<QMenu*>(window);
        QVERIFY2(menu, qPrintable(Describe(window)));
        for (QAction* action : menu->actions()) {
            if (action->objectName() == QLatin1String(item) && action->isEnabled()) {
                menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        menu->close();
    };
}
