#include "forms/frmAway.h"

#include "forms/ErrorPolicy.h"
#include "forms/frmMain.h"
#include "modules/modGeneral.h"
#include "modules/modRunningTiming.h"
#include "platform/AwayWatcher.h"
#include "platform/Regional.h"
#include "platform/Settings.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <cmath>
#include <utility>

namespace {

QPointer<AwayWatcher> gWatcher;

QString Count(qint64 n, const char* one, const char* many)
{
    return QLocale().toString(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

// A span of days in words: seconds under a minute, else hours and whole minutes.
QString DurationText(double days)
{
    const qint64 seconds = std::llround(days * 86400);
    if (seconds < 60)
        return Count(seconds, "second", "seconds");
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds / 60 % 60;
    if (hours == 0)
        return Count(minutes, "minute", "minutes");
    const QString text = Count(hours, "hour", "hours");
    return minutes == 0 ? text : text + QLatin1Char(' ') + Count(minutes, "minute", "minutes");
}

QString ActiveProjectName()
{
    return gProjects && gProjects->GotoID(gActiveProjectID) ? gProjects->Name() : QStringLiteral("(no project)");
}

} // namespace

namespace forms {

frmAway::frmAway(FormKey)
{
    SetUpForm(this, "frmAway", QStringLiteral("Tallyclock"), 6000, 1800);
    lblQuestion = PlaceLabel(this, "lblQuestion", QString(), 120, 120, 5760, 1080);
    cmdKeep = PlaceButton(this, "cmdKeep", QStringLiteral("Keep"), 1200, 1320, 1095, 375);
    cmdDiscard = PlaceButton(this, "cmdDiscard", QStringLiteral("Discard"), 2460, 1320, 1095, 375);
    cmdStop = PlaceButton(this, "cmdStop", QStringLiteral("Stop"), 3720, 1320, 1095, 375);
    // Enter discards: the absence was no work.
    cmdDiscard->setDefault(true);
    ConnectHandler(cmdKeep, &QPushButton::clicked, this, &frmAway::cmdKeep_Click);
    ConnectHandler(cmdDiscard, &QPushButton::clicked, this, &frmAway::cmdDiscard_Click);
    ConnectHandler(cmdStop, &QPushButton::clicked, this, &frmAway::cmdStop_Click);
}

void frmAway::Ask(double from, double to)
{
    absences_.append({from, to});
    QStringList spans;
    for (const auto& [start, end] : std::as_const(absences_))
        spans << QStringLiteral("from %1 to %2 (%3)")
                     .arg(GeneralDateText(start), GeneralDateText(end), DurationText(end - start));
    const QString last = spans.takeLast();
    lblQuestion->setText(QStringLiteral("You were away %1 while timing %2 since %3.")
                             .arg(spans.isEmpty() ? last : spans.join(QStringLiteral(", ")) + " and " + last,
                                  ActiveProjectName(), GeneralDateText(gStartTime)));
    // Brought to the front even when no other window of the program is on screen.
    show();
    raise();
    activateWindow();
    cmdDiscard->setFocus();
}

void frmAway::Withdraw()
{
    absences_.clear();
    hide();
}

void frmAway::cmdKeep_Click()
{
    Withdraw();
}

void frmAway::cmdDiscard_Click()
{
    StoreWorkedStretches(false);
}

void frmAway::cmdStop_Click()
{
    StoreWorkedStretches(true);
}

void frmAway::reject()
{
    RunHandler([this] { cmdKeep_Click(); });
}

// The work between the absences is stored, each absence left out; the timing goes on from the
// end of the last absence, or ends where it began. A failed store leaves the question open
// with the absences not yet dealt with.
void frmAway::StoreWorkedStretches(bool end)
{
    // Storing starts the timing afresh, which withdraws the question.
    const QList<std::pair<double, double>> absences = std::exchange(absences_, {});
    for (qsizetype at = 0; at < absences.size(); ++at) {
        const auto [from, to] = absences[at];
        try {
            if (end && at == absences.size() - 1)
                ::frmMain().StoreTimingAndEnd(from);
            else
                ::frmMain().StoreTimingAndGoOn(from, to);
        } catch (...) {
            for (const auto& [notFrom, notTo] : absences.mid(at))
                Ask(notFrom, notTo);
            throw;
        }
    }
    hide();
}

} // namespace forms

void AwayTimingStarted(QObject* mainWindow, RunningTiming* timing)
{
    if (::frmAway.IsLoaded())
        ::frmAway().Withdraw();
    const AwaySettings settings = ReadAwaySettings();
    if (!settings.detection)
        return;
    if (!gWatcher) {
        gWatcher = new AwayWatcher(mainWindow);
        QObject::connect(gWatcher, &AwayWatcher::AbsenceEnded, gWatcher,
                         [](double from, double to) { RunHandler([from, to] { ::frmAway().Ask(from, to); }); });
        QObject::connect(timing, &RunningTiming::Tick, gWatcher, [] {
            if (gWatcher->CheckIntervalMs() == AwayWatcher::kTickMs)
                gWatcher->Check();
        });
    }
    // A test hook: the threshold in seconds, so that tests need not wait minutes.
    const qint64 testSeconds = qEnvironmentVariableIntValue("TALLYCLOCK_IDLE_SECONDS");
    gWatcher->Start(testSeconds > 0 ? testSeconds * 1000 : settings.idleMinutes * qint64{60000});
}

void AwayTimingEnded()
{
    if (gWatcher)
        gWatcher->Stop();
    if (::frmAway.IsLoaded())
        ::frmAway().Withdraw();
}
