#pragma once

#include <QString>

#include <optional>

class QCommandLineParser;
class QTextStream;

// The user's settings: $XDG_CONFIG_HOME/tallyclock/tallyclock.conf, lines of "name = value" with
// "#" comment lines between them. The program changes a setting by rewriting its value in
// place (or adding a line at the end), so whatever a user wrote by hand stays as it was.
struct AwaySettings
{
    // Minutes without keyboard or mouse input that count as being away; 0 watches no input.
    int idleMinutes = 15;
    // Whether a timing watches for absence at all (sleep, a locked screen, idle time).
    bool detection = true;
};

QString SettingsFile();

// The settings in the file; a missing file gives the defaults, and an unreadable file or
// line gives the defaults for what it could not tell, with one line on standard error each.
AwaySettings ReadAwaySettings();

// The options that change settings without a display (--idle-minutes N, --away-detection on|off).
void AddSettingOptions(QCommandLineParser& parser);

// Carries out those options: the exit status (0 done, 1 not written, 2 a bad value), or
// nothing when none of them was given.
std::optional<int> RunSettingOptions(const QCommandLineParser& parser, QTextStream& out, QTextStream& err);
