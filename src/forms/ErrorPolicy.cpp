#include "forms/ErrorPolicy.h"

#include "forms/FormSupport.h"
#include "modules/modGeneral.h"
#include "platform/AppError.h"

#include <QApplication>
#include <QCursor>
#include <QPointer>

#include <exception>
#include <optional>

namespace {

// The busy cursor while code runs. It shows at once: a wait on a locked database or the filling
// of a long list blocks the event loop, so nothing could show it later. It gives way while a
// window that waits on the user (a modal dialog, a message box, a menu) is open, and comes
// back once that window has gone.
class BusyCursor : public QObject
{
public:
    BusyCursor()
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        qApp->installEventFilter(this);
    }
    ~BusyCursor() override
    {
        if (waitingOn_.isEmpty())
            QApplication::restoreOverrideCursor();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool shown = event->type() == QEvent::Show;
        auto* window = shown || event->type() == QEvent::Hide ? qobject_cast<QWidget*>(watched) : nullptr;
        if (window && window->isWindow() && (window->isModal() || window->windowType() == Qt::Popup)) {
            const bool wasBusy = waitingOn_.isEmpty();
            waitingOn_.removeAll(window);
            waitingOn_.removeAll(nullptr);
            if (shown)
                waitingOn_.append(window);
            if (wasBusy != waitingOn_.isEmpty())
                wasBusy ? QApplication::restoreOverrideCursor() : QApplication::setOverrideCursor(Qt::WaitCursor);
        }
        return false;
    }

private:
    QList<QPointer<QWidget>> waitingOn_;
};

// Runs the code; returns the message of the error that ended it, if one did, and its kind.
std::optional<QString> Failure(const std::function<void()>& code, ErrorKind* kind = nullptr)
{
    try {
        code();
        return std::nullopt;
    } catch (const AppError& e) {
        if (kind)
            *kind = e.Kind();
        return QString::fromStdString(e.what());
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    } catch (...) {
        return QStringLiteral("An unexpected error occurred.");
    }
}

void ShowError(const QString& message)
{
    MsgBox(message, QMessageBox::Ok, QStringLiteral("Tallyclock"), QMessageBox::Critical);
}

// Runs the code under the busy cursor, which is gone before any message shows.
std::optional<QString> BusyFailure(const std::function<void()>& code)
{
    const BusyCursor busy;
    return Failure(code);
}

} // namespace

void RunHandler(const std::function<void()>& handler) noexcept
{
    if (const auto message = BusyFailure(handler))
        ShowError(*message);
}

void RunStep(const std::function<void()>& step, const QString& consequence)
{
    ErrorKind kind = ErrorKind::Other;
    if (const auto message = Failure(step, &kind))
        throw AppError((*message + QStringLiteral("\n\n") + consequence).toStdString(), kind);
}

bool RunStartup(const std::function<void()>& startup) noexcept
{
    const auto message = BusyFailure(startup);
    if (!message)
        return true;
    // The program is about to end: the icon goes before the user reads why.
    Shell_NotifyIconA(NIM_DELETE, gTrayIcon);
    ShowError(*message);
    return false;
}
