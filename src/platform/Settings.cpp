#include "platform/Settings.h"

#include "platform/DataFolder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace {

const QString kIdleMinutes = QStringLiteral("idle-minutes");
const QString kAwayDetection = QStringLiteral("away-detection");
constexpr int kMostIdleMinutes = 1440;

// What a new file says about itself and about each setting before its line.
const char* const kFileHeader = "# Tallyclock's settings. Edit them here or with tallyclock --idle-minutes N and\n"
                                "# --away-detection on|off; a change applies from the next Start Timer.\n"
                                "# Lines beginning with # are comments.\n";

QString Describe(const QString& name)
{
    return name == kIdleMinutes
        ? QStringLiteral("# Minutes without keyboard or mouse input that count as being away (0: input is not "
                         "watched).")
        : QStringLiteral("# Watch for sleep, a locked screen and idle time while timing: on or off.");
}

// A value of a setting as the program reads it; an error text when it is no such value.
std::optional<QString> Refusal(const QString& name, const QString& value, AwaySettings& settings)
{
    if (name == kIdleMinutes) {
        bool ok = false;
        const int minutes = value.toInt(&ok);
        if (!ok || minutes < 0 || minutes > kMostIdleMinutes)
            return QStringLiteral("%1 must be a whole number of minutes from 0 to %2, not '%3'")
                .arg(name)
                .arg(kMostIdleMinutes)
                .arg(value);
        settings.idleMinutes = minutes;
    } else if (name == kAwayDetection) {
        if (value != QLatin1String("on") && value != QLatin1String("off"))
            return QStringLiteral("%1 must be on or off, not '%2'").arg(name, value);
        settings.detection = value == QLatin1String("on");
    } else {
        return QStringLiteral("there is no setting '%1'").arg(name);
    }
    return std::nullopt;
}

// A line's name and value; none for blank lines, comments and lines without "=".
std::optional<std::pair<QString, QString>> Setting(const QString& line)
{
    const QString text = line.trimmed();
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (text.isEmpty() || text.startsWith(QLatin1Char('#')) || equals < 0)
        return std::nullopt;
    return std::make_pair(text.left(equals).trimmed(), text.mid(equals + 1).trimmed());
}

// The file's lines; an error text when it exists but cannot be read.
std::optional<QString> ReadLines(QStringList& lines)
{
    QFile file(SettingsFile());
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
    lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (lines.constLast().isEmpty())
        lines.removeLast();
    return std::nullopt;
}

// Sets one setting in the file, leaving every other line as it is.
std::optional<QString> WriteSetting(const QString& name, const QString& value)
{
    QStringList lines;
    if (auto error = ReadLines(lines))
        return error;
    const QString line = name + QStringLiteral(" = ") + value;
    auto same = std::find_if(lines.begin(), lines.end(), [&](const QString& l) {
        const auto setting = Setting(l);
        return setting && setting->first == name;
    });
    if (same != lines.end()) {
        *same = line;
    } else {
        if (lines.isEmpty())
            lines = QString::fromLatin1(kFileHeader).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        lines << Describe(name) << line;
    }
    const QString path = SettingsFile();
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        if (file.commit())
            return std::nullopt;
    }
    return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
}

} // namespace

QString SettingsFile()
{
    return XdgFolder("XDG_CONFIG_HOME", ".config") + QStringLiteral("/tallyclock/tallyclock.conf");
}

AwaySettings ReadAwaySettings()
{
    AwaySettings settings;
    QTextStream err(stderr);
    QStringList lines;
    if (const auto error = ReadLines(lines)) {
        err << "tallyclock: " << *error << "; using the default settings\n";
        return settings;
    }
    for (qsizetype at = 0; at < lines.size(); ++at) {
        const auto setting = Setting(lines[at]);
        const bool comment = lines[at].trimmed().isEmpty() || lines[at].trimmed().startsWith(QLatin1Char('#'));
        const auto error = setting ? Refusal(setting->first, setting->second, settings)
            : comment              ? std::nullopt
                                   : std::optional(QStringLiteral("'%1' is no setting").arg(lines[at]));
        if (error)
            err << "tallyclock: " << SettingsFile() << ':' << at + 1 << ": " << *error << "; ignored\n";
    }
    return settings;
}

void AddSettingOptions(QCommandLineParser& parser)
{
    parser.addOption({kIdleMinutes,
                      QStringLiteral("While timing, ask about a stretch of <minutes> without keyboard or mouse "
                                     "input (0: do not watch input; 15 at first). Saved in the settings file."),
                      QStringLiteral("minutes")});
    parser.addOption({kAwayDetection,
                      QStringLiteral("While timing, watch for sleep, a locked screen and idle time (on at first). "
                                     "Saved in the settings file."),
                      QStringLiteral("on|off")});
}

std::optional<int> RunSettingOptions(const QCommandLineParser& parser, QTextStream& out, QTextStream& err)
{
    QStringList given;
    AwaySettings checked;
    for (const QString& name : {kIdleMinutes, kAwayDetection}) {
        if (!parser.isSet(name))
            continue;
        if (const auto error = Refusal(name, parser.value(name), checked)) {
            err << "tallyclock: " << *error << ".\n";
            return 2;
        }
        given << name;
    }
    if (given.isEmpty())
        return std::nullopt;
    for (const QString& name : given) {
        if (const auto error = WriteSetting(name, parser.value(name))) {
            err << "tallyclock: " << *error << '\n';
            return 1;
        }
        out << "Set " << name << " = " << parser.value(name) << " in " << SettingsFile() << '\n';
    }
    return 0;
}
