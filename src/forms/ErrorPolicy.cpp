#include "forms/ErrorPolicy.h"

#include "forms/FormSupport.h"
#include "modules/modGeneral.h"

#include <exception>
#include <optional>

namespace {

// Runs the code; returns the message of the error that ended it, if one did.
std::optional<QString> Failure(const std::function<void()>& code)
{
    try {
        code();
        return std::nullopt;
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

} // namespace

void RunHandler(const std::function<void()>& handler) noexcept
{
    if (const auto message = Failure(handler))
        ShowError(*message);
}

bool RunStartup(const std::function<void()>& startup) noexcept
{
    const auto message = Failure(startup);
    if (!message)
        return true;
    // The program is about to end: the icon goes before the user reads why.
    Shell_NotifyIconA(NIM_DELETE, gTrayIcon);
    ShowError(*message);
    return false;
}
