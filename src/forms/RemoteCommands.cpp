#include "forms/RemoteCommands.h"

#include "forms/ErrorPolicy.h"
#include "forms/frmMain.h"
#include "modules/modGeneral.h"
#include "modules/modRunningTiming.h"
#include "platform/Database.h"
#include "platform/ListView.h"
#include "platform/Regional.h"
#include "platform/SingleInstance.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QLabel>

#include <functional>
#include <optional>

namespace {

const QString kOk = QStringLiteral("ok");
const QString kMessage = QStringLiteral("message");
const QString kElapsed = QStringLiteral("elapsed_minutes");

QJsonObject Done(const QString& message)
{
    return {{kOk, true}, {kMessage, message}};
}

QJsonObject Refused(const QString& why)
{
    return {{kOk, false}, {kMessage, why}};
}

// The project that timings go to, as the window shows it.
QString ActiveName()
{
    const QString name = frmMain().lblActiveProject->text();
    return name.isEmpty() ? QStringLiteral("(no project)") : name;
}

QString Span(double start, double end)
{
    return HoursMinutesText(WholeMinutesBetween(start, end));
}

// What a handler run from here left for the user: the error that ended it, on one line, and the
// questions it asked.
struct Outcome
{
    std::optional<QString> failure;
    QStringList asked;
};

// Runs a handler as its menu item or button does, but its message boxes wait until the caller
// has its answer, and a question gets the answer given (else Cancel).
Outcome Run(const std::function<void()>& handler, QMessageBox::StandardButton answer = QMessageBox::Cancel)
{
    const HeldMessages held(answer);
    RunHandler(handler);
    Outcome outcome{std::nullopt, held.asked};
    for (const HeldMessages::Message& message : held.told)
        if (message.icon == QMessageBox::Critical && !outcome.failure)
            outcome.failure = message.prompt.simplified();
    return outcome;
}

QJsonObject Start()
{
    if (!frmMain().mnuStartTimer->isEnabled())
        return Refused(
            QStringLiteral("A timing of %1 runs already, since %2.").arg(ActiveName(), ShortTimeText(gStartTime)));
    // The menu would time for no project; a command is refused, as nothing could say which.
    if (gActiveProjectID == 0 || !gProjects->GotoID(gActiveProjectID))
        return Refused(QStringLiteral("No project is active: make one active first (tallyclock --activate NAME)."));
    if (const auto failure = Run([] { frmMain().mnuStartTimer_Click(); }).failure)
        return Refused(*failure);
    return Done(QStringLiteral("Started timing %1 at %2.").arg(ActiveName(), ShortTimeText(gStartTime)));
}

QJsonObject Stop()
{
    if (!frmMain().mnuEndTimer->isEnabled())
        return Refused(QStringLiteral("No timing runs."));
    const QString project = ActiveName();
    if (const auto failure = Run([] { frmMain().mnuEndTimer_Click(); }).failure)
        return Refused(*failure);
    return Done(QStringLiteral("Stored %1 for %2, from %3 to %4.")
                    .arg(Span(gStartTime, gEndTime), project, ShortTimeText(gStartTime), ShortTimeText(gEndTime)));
}

// Set Active for the one project of that name, as the list compares names. While timing another
// project it asks whether the time so far goes to that one: the answer must come with the command.
QJsonObject Activate(const QString& name, const QString& answer)
{
    ListView& list = *frmMain().lstProject;
    QList<QTreeWidgetItem*> named;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        if (CompareNames(list.topLevelItem(i)->text(0), name) == 0)
            named.append(list.topLevelItem(i));
    if (named.size() != 1)
        return Refused(named.isEmpty()
                           ? QStringLiteral("No project is named \"%1\".").arg(name)
                           : QStringLiteral("%1 projects are named \"%2\": make one of them active in the window.")
                                 .arg(QString::number(named.size()), name));
    const QString timed = ActiveName();
    const double start = gStartTime;
    const QMessageBox::StandardButton button = answer == QLatin1String("yes") ? QMessageBox::Yes
        : answer == QLatin1String("no")                                       ? QMessageBox::No
                                                                              : QMessageBox::Cancel;
    QTreeWidgetItem* const selected = list.SelectedItem();
    list.Select(named.front());
    const Outcome outcome = Run([] { frmMain().cmdSetActive_Click(); }, button);
    if (outcome.failure)
        return Refused(*outcome.failure);
    if (!outcome.asked.isEmpty() && button == QMessageBox::Cancel) {
        // Refused, it leaves the window as it was.
        list.Select(selected);
        return Refused(outcome.asked.front() + QStringLiteral(" Answer with --yes or --no."));
    }
    if (!frmMain().IsTiming())
        return Done(QStringLiteral("%1 is the active project.").arg(ActiveName()));
    const QString since = ShortTimeText(gStartTime);
    if (outcome.asked.isEmpty() || button == QMessageBox::No)
        return Done(QStringLiteral("Timing %1 since %2.").arg(ActiveName(), since));
    return Done(QStringLiteral("Stored %1 for %2; timing %3 since %4.")
                    .arg(Span(start, gStartTime), timed, ActiveName(), since));
}

// The status, as --status shows it; the minutes only while timing.
QJsonObject Status()
{
    const bool timing = frmMain().IsTiming();
    const QString project = frmMain().lblActiveProject->text();
    QJsonObject status{{kOk, true},
                       {QStringLiteral("timing"), timing},
                       {QStringLiteral("project"), project.isEmpty() ? QJsonValue() : project}};
    if (timing) {
        status.insert(QStringLiteral("start"), gStartTime);
        status.insert(kElapsed, WholeMinutesBetween(gStartTime, CurrentMoment()));
    }
    return status;
}

} // namespace

RemoteCommands::RemoteCommands(SingleInstance& instance) : instance_(instance)
{
    instance_.SetHandler([this](const QJsonObject& request) { return Answer(request); });
    // Whatever changed the state, the program waits for the next event once it is done; the
    // check costs a few comparisons, and only while a caller follows.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &RemoteCommands::PublishChange);
    // The running timing's own minute, so that a timing still wakes the program every 30 s.
    connect(frmMain().runningTiming, &RunningTiming::MinutePassed, this, [this] {
        if (instance_.HasFollowers())
            Publish();
    });
}

RemoteCommands::~RemoteCommands()
{
    instance_.SetHandler({});
}

QJsonObject RemoteCommands::Answer(const QJsonObject& request)
{
    QString command = request.value(QStringLiteral("command")).toString();
    if (!frmMain.IsLoaded())
        return Refused(QStringLiteral("Tallyclock is ending."));
    if (command == QLatin1String("status")) {
        published_ = Status();
        published_.remove(kElapsed);
        return Status();
    }
    if (const QWidget* modal = QApplication::activeModalWidget())
        return Refused(QStringLiteral("Tallyclock waits for an answer in its window \"%1\"; answer it first.")
                           .arg(modal->windowTitle()));
    if (command == QLatin1String("toggle"))
        command = frmMain().IsTiming() ? QStringLiteral("stop") : QStringLiteral("start");
    if (command == QLatin1String("start"))
        return Start();
    if (command == QLatin1String("stop"))
        return Stop();
    if (command == QLatin1String("activate"))
        return Activate(request.value(QStringLiteral("name")).toString(),
                        request.value(QStringLiteral("answer")).toString());
    return Refused(QStringLiteral("Tallyclock knows no command \"%1\".").arg(command));
}

void RemoteCommands::PublishChange()
{
    if (!instance_.HasFollowers() || !frmMain.IsLoaded())
        return;
    QJsonObject status = Status();
    status.remove(kElapsed);
    if (status != published_)
        Publish();
}

void RemoteCommands::Publish()
{
    const QJsonObject status = Status();
    instance_.Publish(status);
    published_ = status;
    published_.remove(kElapsed);
}
