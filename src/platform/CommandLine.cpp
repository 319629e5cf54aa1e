#include "platform/CommandLine.h"

#include "platform/AppId.h"
#include "platform/Settings.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace {

// The XDG autostart entry: the desktop starts the program when the user logs in.
QString AutostartFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/")
        + QLatin1String(kAppId) + QStringLiteral(".desktop");
}

int WriteAutostart(QTextStream& out, QTextStream& err)
{
    const QString path = AutostartFile();
    QSaveFile file(path);
    QDir().mkpath(QFileInfo(path).path());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QByteArrayLiteral("[Desktop Entry]\nType=Application\nName=Tallyclock\nExec=tallyclock\nIcon=")
                   + QByteArray(kAppId) + '\n');
        if (file.commit()) {
            out << "Tallyclock will start when you log in: wrote " << path << '\n';
            return 0;
        }
    }
    err << "tallyclock: cannot write " << path << ": " << file.errorString() << '\n';
    return 1;
}

int RemoveAutostart(QTextStream& out, QTextStream& err)
{
    QFile file(AutostartFile());
    if (!file.exists()) {
        out << "Tallyclock was not set to start when you log in: there is no " << file.fileName() << '\n';
        return 0;
    }
    if (!file.remove()) {
        err << "tallyclock: cannot remove " << file.fileName() << ": " << file.errorString() << '\n';
        return 1;
    }
    out << "Tallyclock will no longer start when you log in: removed " << file.fileName() << '\n';
    return 0;
}

} // namespace

int RunCommandLine(const QStringList& arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tallyclock, a time tracker. Without options it starts its window."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    const QCommandLineOption autostart(QStringLiteral("autostart"),
                                       QStringLiteral("Start Tallyclock when you log in."));
    const QCommandLineOption noAutostart(QStringLiteral("no-autostart"),
                                         QStringLiteral("Stop starting Tallyclock when you log in."));
    parser.addOptions({help, version, autostart, noAutostart});
    AddSettingOptions(parser);

    if (!parser.parse(arguments)) {
        err << "tallyclock: " << parser.errorText() << " See tallyclock --help.\n";
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << "tallyclock: unexpected argument '" << parser.positionalArguments().constFirst()
            << "'. See tallyclock --help.\n";
        return 2;
    }
    if (parser.isSet(autostart) && parser.isSet(noAutostart)) {
        err << "tallyclock: --autostart and --no-autostart exclude each other.\n";
        return 2;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        out << "tallyclock " << TALLYCLOCK_VERSION << '\n';
        return 0;
    }
    const std::optional<int> settings = RunSettingOptions(parser, out, err);
    if (settings && (*settings != 0 || !(parser.isSet(autostart) || parser.isSet(noAutostart))))
        return *settings;
    if (parser.isSet(autostart))
        return WriteAutostart(out, err);
    if (parser.isSet(noAutostart))
        return RemoveAutostart(out, err);
    // Only "--" comes this far.
    err << "tallyclock: no option given. See tallyclock --help.\n";
    return 2;
}
