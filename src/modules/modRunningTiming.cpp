#include "modules/modRunningTiming.h"

#include "forms/FormSupport.h"
#include "modules/modGeneral.h"
#include "platform/DataFolder.h"
#include "platform/Regional.h"
#include "platform/TimingFile.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <exception>

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kLoginManager = QStringLiteral("org.freedesktop.login1.Manager");

void Warn(const QString& message)
{
    MsgBox(message, QMessageBox::Ok, QStringLiteral("Tallyclock"), QMessageBox::Warning);
}

} // namespace

RunningTiming::RunningTiming(QObject* parent) : QObject(parent)
{
    tick_.setInterval(30 * 1000);
    // Never early: a minute's signal that came before the timing's whole minute would show the
    // same count of minutes again to whoever follows the status, and the next one only a minute later.
    tick_.setTimerType(Qt::PreciseTimer);
    connect(&tick_, &QTimer::timeout, this, [this] {
        minuteOdd_ = !minuteOdd_;
        if (!minuteOdd_) {
            WriteDown();
            emit MinutePassed();
        }
        emit Tick();
    });
    // Without a system bus or logind the minute's refresh alone serves.
    QDBusConnection bus = QDBusConnection::systemBus();
    bus.connect(kLogin, kLoginPath, kLoginManager, QStringLiteral("PrepareForSleep"), this,
                SLOT(PrepareForSleep(bool)));
    bus.connect(kLogin, kLoginPath, kLoginManager, QStringLiteral("PrepareForShutdown"), this,
                SLOT(PrepareForShutdown(bool)));
}

void RunningTiming::WriteDown()
{
    if (!running_) {
        running_ = true;
        minuteOdd_ = false;
        tick_.start();
        HoldOffSleep();
    }
    try {
        WriteTimingFile(DataFolder(), WrittenTiming{gActiveProjectID, gStartTime, CurrentMoment()});
        failureShown_ = false;
    } catch (const std::exception& e) {
        if (failureShown_)
            return;
        failureShown_ = true;
        Warn(QString::fromStdString(e.what())
             + QStringLiteral("\n\nThe timing goes on, but a crash or the end of the session would lose it."));
    }
}

void RunningTiming::Forget()
{
    running_ = false;
    failureShown_ = false;
    tick_.stop();
    delayLock_ = QDBusUnixFileDescriptor();
    try {
        RemoveTimingFile(DataFolder());
    } catch (const std::exception& e) {
        Warn(QString::fromStdString(e.what())
             + QStringLiteral("\n\nThe next start will ask about the timing as if it had not been ended: answer "
                              "Discard."));
    }
}

// The delay lock makes logind wait, a few seconds at most, until the last moment is written.
void RunningTiming::HoldOffSleep()
{
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin, kLoginPath, kLoginManager, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:shutdown") << QStringLiteral("Tallyclock")
         << QStringLiteral("Writing down the running timing") << QStringLiteral("delay");
    auto* reply = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* watcher) {
        const QDBusPendingReply<QDBusUnixFileDescriptor> lock = *watcher;
        if (running_ && lock.isValid())
            delayLock_ = lock.value();
        watcher->deleteLater();
    });
}

void RunningTiming::PrepareForSleep(bool sleeping)
{
    Prepare(sleeping);
    emit SleepAnnounced(sleeping);
}

void RunningTiming::PrepareForShutdown(bool shuttingDown)
{
    Prepare(shuttingDown);
}

// Going: the last moment is written and logind may go on. Back (or the shutdown called off):
// the next one is held off again.
void RunningTiming::Prepare(bool going)
{
    if (!running_)
        return;
    if (!going)
        return HoldOffSleep();
    WriteDown();
    delayLock_ = QDBusUnixFileDescriptor();
}
