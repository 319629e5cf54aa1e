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
    return box->windowTitle() + '|' + box->text() + '|' + QString::number(box->standardButtons(), 16);
}

} // namespace

ModalAnswers::ModalAnswers()
{
    connect(&timer_, &QTimer::timeout, this, &ModalAnswers::Poll);
    timer_.start(5);
}

void ModalAnswers::Poll()
{
    QWidget* top = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                     : QApplication::activeModalWidget();
    if (top != top_) {
        top_ = top;
        onTop_.start();
    }
    // A window whose step still runs comes back to the top once a window it opened has gone:
    // it takes no other step.
    const bool running = running_.contains(top);
    if (!top || (running && onTop_.elapsed() < 5000))
        return;
    if (running || steps_.isEmpty()) {
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
    running_.append(top);
    // From a timer of its own: the step may block in a modal window that this poll must answer.
    QTimer::singleShot(0, top, [self = QPointer<ModalAnswers>(this), top, step = steps_.takeFirst()] {
        step(top);
        if (self)
            self->running_.removeAll(top);
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
        auto* action = menu->findChild<QAction*>(item);
        if (!action || !action->isEnabled())
            return void(menu->close());
        menu->setActiveAction(action);
        QTest::keyClick(menu, Qt::Key_Return);
    };
}
