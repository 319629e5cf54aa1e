#pragma once

#include <QJsonObject>
#include <QObject>

class SingleInstance;

// The running copy's side of the commands given on the command line (tallyclock --start and the
// like), which reach it through the single-instance channel. Each runs the handler of the menu
// item or button that it stands for, only where that one is enabled, through the error policy;
// the answer tells what happened, or why nothing did. While a window waits on the user, only
// show and status are taken. The status goes to every caller that follows it at each change,
// whatever made it, and once a minute while timing.
class RemoteCommands : public QObject
{
public:
    // Takes the instance's requests; the main window must be loaded.
    explicit RemoteCommands(SingleInstance& instance);
    ~RemoteCommands() override;

    QJsonObject Answer(const QJsonObject& request);

private:
    void PublishChange();
    void Publish();

    SingleInstance& instance_;
    QJsonObject published_; // the last status sent, without its minutes
};
