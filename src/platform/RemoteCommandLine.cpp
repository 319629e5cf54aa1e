#include "platform/RemoteCommandLine.h"

#include "platform/AppError.h"
#include "platform/DataFolder.h"
#include "platform/Database.h"
#include "platform/Regional.h"
#include "platform/SingleInstance.h"
#include "platform/TimingFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include <cmath>
#include <exception>

namespace {

const QStringList kCommands = {QStringLiteral("start"),    QStringLiteral("stop"), QStringLiteral("toggle"),
                               QStringLiteral("activate"), QStringLiteral("show"), QStringLiteral("status")};
const QStringList kModifiers = {QStringLiteral("yes"), QStringLiteral("no"), QStringLiteral("format"),
                                QStringLiteral("follow")};

// What --status tells.
struct Status
{
    bool running = false; // a copy runs over the database
    bool timing = false; // in that copy, or left unended by the last one
    QString project; // the active or timed project; empty for none
    double start = 0;
    qint64 minutes = 0;
};

Status FromAnswer(const QJsonObject& answer)
{
    return {true, answer.value(QStringLiteral("timing")).toBool(), answer.value(QStringLiteral("project")).toString(),
            answer.value(QStringLiteral("start")).toDouble(),
            answer.value(QStringLiteral("elapsed_minutes")).toInteger()};
}

QString ProjectName(const QString& databasePath, qint32 id)
{
    try {
        Connection cn;
        cn.Open(ConnectionStringForFile(databasePath), Connection::Access::ReadOnly);
        RecordSet rs;
        rs.Open(QStringLiteral("SELECT Name FROM tblProject WHERE ProjectID=") + QString::number(id), cn);
        return rs.IsEOF() ? QString() : rs.Fields(0).ToText();
    } catch (const std::exception&) {
        return {};
    }
}

// No copy runs: a timing that the last one left unended is still written down beside the
// database. Looked at only; the next start asks about it.
Status NotRunning(const QString& databasePath)
{
    const std::optional<WrittenTiming> left = PeekTimingFile(QFileInfo(databasePath).path());
    if (!left)
        return {};
    return {false, true, ProjectName(databasePath, left->projectID), left->start,
            WholeMinutesBetween(left->start, CurrentMoment())};
}

// A line of its own whatever a name holds.
QString OneLine(QString text)
{
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return text;
}

// The time alone on the day itself; a timing from an earlier day says which.
QString SinceText(double start)
{
    return std::floor(start) == std::floor(CurrentMoment()) ? ShortTimeText(start) : GeneralDateText(start);
}

QString Text(const Status& s)
{
    const QString project = s.project.isEmpty() ? QStringLiteral("(no project)") : s.project;
    if (s.timing && s.running)
        return OneLine(
            QStringLiteral("Timing %1 since %2 (%3)").arg(project, SinceText(s.start), HoursMinutesText(s.minutes)));
    if (s.timing)
        return OneLine(
            QStringLiteral("Not running (timing of %1 since %2 not ended)").arg(project, SinceText(s.start)));
    if (s.running)
        return OneLine(s.project.isEmpty() ? QStringLiteral("Idle (no project active)")
                                           : QStringLiteral("Idle (%1 active)").arg(s.project));
    return QStringLiteral("Not running");
}

QString JsonText(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// In the order of the manual, with the text line and a class for bars that style by it.
QString Json(const Status& s)
{
    const auto boolean = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
    const QString null = QStringLiteral("null");
    const QString kind = s.timing && s.running ? QStringLiteral("timing")
        : s.running                            ? QStringLiteral("idle")
                                               : QStringLiteral("not-running");
    return QStringLiteral(R"({"running":%1,"timing":%2,"project":%3,"since":%4,"elapsed_minutes":%5,"text":%6,)"
                          R"("class":"%7"})")
        .arg(boolean(s.running), boolean(s.timing), s.project.isEmpty() ? null : JsonText(s.project),
             s.timing ? JsonText(IsoDateTimeText(s.start)) : null, s.timing ? QString::number(s.minutes) : null,
             JsonText(Text(s)), kind);
}

} // namespace

void AddRemoteOptions(QCommandLineParser& parser)
{
    parser.addOptions(
        {{kCommands[0], QStringLiteral("Start the timer of the running Tallyclock for the active project.")},
         {kCommands[1], QStringLiteral("End the running timing and store it.")},
         {kCommands[2], QStringLiteral("Start the timer, or end the running timing.")},
         {kCommands[3],
          QStringLiteral("Make the project named <name> active (letter case ignored). While another project is "
                         "being timed, --yes books the time so far to that one and --no leaves the whole timing "
                         "to the new one."),
          QStringLiteral("name")},
         {kModifiers[0], QStringLiteral("Answer yes to the question of --activate.")},
         {kModifiers[1], QStringLiteral("Answer no to the question of --activate.")},
         {kCommands[4], QStringLiteral("Show the window of the running Tallyclock.")},
         {kCommands[5], QStringLiteral("Print in one line whether Tallyclock runs and what it times.")},
         {kModifiers[2], QStringLiteral("Print the status as text (the default) or json."), QStringLiteral("format")},
         {kModifiers[3], QStringLiteral("Print the status again at each change and each minute of a timing.")}});
}

std::optional<int> RunRemoteOptions(const QCommandLineParser& parser, QTextStream& out, QTextStream& err)
{
    QStringList commands, modifiers, others;
    for (const QString& name : parser.optionNames())
        (kCommands.contains(name) ? commands : kModifiers.contains(name) ? modifiers : others) << name;
    if (commands.isEmpty() && modifiers.isEmpty())
        return std::nullopt;
    const QString command = commands.value(0);
    const bool yes = parser.isSet(kModifiers[0]), no = parser.isSet(kModifiers[1]);
    const QString format = parser.value(kModifiers[2]);
    QString why;
    if (commands.size() != 1)
        why = QStringLiteral("give one command of --start, --stop, --toggle, --activate, --show and --status");
    else if (!others.isEmpty())
        why = QStringLiteral("--%1 goes with no other option but its own").arg(command);
    else if ((yes || no) && (command != kCommands[3] || (yes && no)))
        why = QStringLiteral("--yes or --no answers the question of --activate");
    else if ((parser.isSet(kModifiers[2]) || parser.isSet(kModifiers[3])) && command != kCommands[5])
        why = QStringLiteral("--format and --follow go with --status");
    else if (parser.isSet(kModifiers[2]) && format != QLatin1String("text") && format != QLatin1String("json"))
        why = QStringLiteral("--format is text or json, not '%1'").arg(format);
    if (!why.isEmpty()) {
        err << "tallyclock: " << why << ".\n";
        return 2;
    }

    const QString database = DatabaseFileIn(DatabaseFolderFor(QCoreApplication::applicationDirPath()));
    const bool json = format == QLatin1String("json");
    const auto shown = [json](const Status& status) { return json ? Json(status) : Text(status); };
    if (parser.isSet(kModifiers[3])) {
        const StatusFollower follower(database, json, out, err);
        return QCoreApplication::exec();
    }
    QJsonObject request{{QStringLiteral("command"), command}};
    if (command == kCommands[3])
        request.insert(QStringLiteral("name"), parser.value(command));
    if (yes || no)
        request.insert(QStringLiteral("answer"), yes ? kModifiers[0] : kModifiers[1]);
    QJsonObject answer;
    try {
        switch (SingleInstance::Ask(database, request, answer)) {
        case SingleInstance::Reply::NotRunning:
            if (command == kCommands[5]) {
                out << shown(NotRunning(database)) << '\n';
                return 0;
            }
            err << "tallyclock: Tallyclock is not running.\n";
            return 1;
        case SingleInstance::Reply::Older:
            (command == kCommands[4] ? out : err) << "tallyclock: the running Tallyclock is of an older version "
                                                     "that takes no commands; it has shown its window instead.\n";
            return command == kCommands[4] ? 0 : 1;
        case SingleInstance::Reply::Answered:
            break;
        }
    } catch (const std::exception& e) {
        err << "tallyclock: " << e.what() << '\n';
        return 1;
    }
    if (!answer.value(QStringLiteral("ok")).toBool()) {
        err << "tallyclock: "
            << OneLine(answer.value(QStringLiteral("message"))
                           .toString(QStringLiteral("the running Tallyclock gave an answer that this version cannot "
                                                    "read.")))
            << '\n';
        return 1;
    }
    out << (command == kCommands[5] ? shown(FromAnswer(answer))
                                    : OneLine(answer.value(QStringLiteral("message")).toString()))
        << '\n';
    return 0;
}

StatusFollower::StatusFollower(const QString& databasePath, bool json, QTextStream& out, QTextStream& err)
    : database_(databasePath), channel_(SingleInstance::ChannelFor(databasePath)), json_(json), out_(out), err_(err)
{
    connect(&socket_, &QLocalSocket::connected, this, [this] {
        socket_.write(
            SingleInstance::RequestLine({{QStringLiteral("command"), kCommands[5]}, {QStringLiteral("follow"), true}}));
    });
    connect(&socket_, &QLocalSocket::readyRead, this, &StatusFollower::Received);
    connect(&socket_, &QLocalSocket::disconnected, this, &StatusFollower::Lost);
    connect(&socket_, &QLocalSocket::errorOccurred, this, [this] {
        if (socket_.state() == QLocalSocket::UnconnectedState)
            Lost();
    });
    // Changes in the runtime folder, where a starting copy makes its socket.
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (socket_.state() == QLocalSocket::UnconnectedState && QFileInfo::exists(channel_))
            Connect();
    });
    Connect();
}

void StatusFollower::Connect()
{
    greeted_ = false;
    socket_.connectToServer(channel_);
}

void StatusFollower::Received()
{
    while (socket_.canReadLine()) {
        const QByteArray line = socket_.readLine().chopped(1);
        if (!greeted_ && line.isEmpty())
            return Fail(QStringLiteral("The running Tallyclock is of an older version that takes no commands."));
        if (!std::exchange(greeted_, true))
            continue;
        const QJsonObject answer = QJsonDocument::fromJson(line).object();
        if (!answer.value(QStringLiteral("ok")).toBool())
            return Fail(answer.value(QStringLiteral("message")).toString());
        // Connected, there is nothing to wait for.
        if (!watcher_.directories().isEmpty())
            watcher_.removePaths(watcher_.directories());
        Print(json_ ? Json(FromAnswer(answer)) : Text(FromAnswer(answer)));
    }
}

void StatusFollower::Lost()
{
    const bool watching = !watcher_.directories().isEmpty();
    Print(json_ ? Json(NotRunning(database_)) : Text(NotRunning(database_)));
    if (watching || channel_.isEmpty())
        return;
    watcher_.addPath(QFileInfo(channel_).path());
    // A copy that came up before the watch began is not missed; once watching, every change counts.
    if (QFileInfo::exists(channel_))
        Connect();
}

void StatusFollower::Print(const QString& line)
{
    if (line == printed_)
        return;
    printed_ = line;
    out_ << line << Qt::endl;
}

void StatusFollower::Fail(const QString& why)
{
    err_ << "tallyclock: " << OneLine(why) << Qt::endl;
    disconnect(&socket_, nullptr, this, nullptr);
    socket_.abort();
    QCoreApplication::exit(1);
}
