#pragma once

#include <QFileSystemWatcher>
#include <QLocalSocket>
#include <QObject>
#include <QString>

#include <optional>

class QCommandLineParser;
class QTextStream;

// The options that ask the running copy over the same database: --start, --stop, --toggle,
// --activate NAME (with --yes or --no), --show, and --status (with --format text|json and
// --follow). Each prints one line: what happened on standard output, why not on standard error.
void AddRemoteOptions(QCommandLineParser& parser);

// Carries them out: the exit status (0 done, 1 refused, failed or no copy runs, 2 a bad
// combination of options), or nothing when none of them was given. With no copy running,
// --status tells so, and of a timing that copy left unended, from its written-down record; the
// other commands never start one.
std::optional<int> RunRemoteOptions(const QCommandLineParser& parser, QTextStream& out, QTextStream& err);

// --status --follow: prints the status of the copy over the database at once, and a new line at
// each change and each minute of a timing as that copy sends them. While no copy runs it prints
// that once, and waits, without waking, for one to start.
class StatusFollower : public QObject
{
public:
    StatusFollower(const QString& databasePath, bool json, QTextStream& out, QTextStream& err);

private:
    void Connect();
    void Received();
    void Lost();
    void Print(const QString& line);
    void Fail(const QString& why);

    const QString database_;
    const QString channel_;
    const bool json_;
    QTextStream& out_;
    QTextStream& err_;
    QLocalSocket socket_;
    QFileSystemWatcher watcher_;
    bool greeted_ = false;
    QString printed_;
};
