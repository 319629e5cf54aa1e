#include "platform/CommandLine.h"

#include "platform/Autostart.h"
#include "platform/RemoteCommandLine.h"
#include "platform/Settings.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

// Qt's own options, which it takes when it starts the window; each with one or two dashes. The
// first kind takes the next argument as its value; a value may also follow an '='.
const QStringList kToolkitOptionsWithValue = {QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
                                              QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
                                              QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
                                              QStringLiteral("qwindowtitle"),    QStringLiteral("session"),
                                              QStringLiteral("display"),         QStringLiteral("geometry"),
                                              QStringLiteral("style"),           QStringLiteral("stylesheet")};
const QStringList kToolkitFlags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                   QStringLiteral("qmljsdebugger")};

// The option's name without its dashes and any "=value"; empty for an argument that is no option.
QString OptionName(const QString& argument)
{
    if (!argument.startsWith(QLatin1Char('-')))
        return {};
    const qsizetype dashes = argument.startsWith(QLatin1String("--")) ? 2 : 1;
    return argument.mid(dashes).section(QLatin1Char('='), 0, 0);
}

} // namespace

QStringList WithoutToolkitOptions(const QStringList& arguments)
{
    QStringList ours;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString name = i == 0 ? QString() : OptionName(arguments.at(i));
        if (kToolkitOptionsWithValue.contains(name) && !arguments.at(i).contains(QLatin1Char('=')))
            ++i;
        else if (!kToolkitOptionsWithValue.contains(name) && !kToolkitFlags.contains(name))
            ours << arguments.at(i);
    }
    return ours;
}

bool DisplayNamed(const QStringList& arguments)
{
    QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        const QString name = OptionName(arguments.at(i));
        if (name == QLatin1String("platform"))
            platform = arguments.at(i + 1);
        display = display || name == QLatin1String("display");
    }
    // The platforms that draw without a display server (offscreen, vnc, eglfs) need none.
    return display
        || !(platform.isEmpty() || platform.startsWith(QLatin1String("xcb"))
             || platform.startsWith(QLatin1String("wayland")));
}

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
    AddRemoteOptions(parser);

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
    if (const std::optional<int> remote = RunRemoteOptions(parser, out, err))
        return *remote;
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
