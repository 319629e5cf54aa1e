#pragma once

#include <QStringList>

// The program's options (--help, --version, --autostart, --no-autostart, the settings' and the
// commands to the running copy), handled without a display and without a window. The arguments
// include the program's name first. Returns the exit status: 0 done, 1 failed, 2 an unknown
// option or argument.
int RunCommandLine(const QStringList& arguments);

// The arguments without the options that Qt takes itself as it starts the window (-session,
// -style, -platform, -display and the like, with their values), so that a session manager can
// start the program with them.
QStringList WithoutToolkitOptions(const QStringList& arguments);

// Whether the window has somewhere to show: DISPLAY, WAYLAND_DISPLAY or -display is given, or
// the Qt platform is one that needs no display server. Without one, Qt would abort.
bool DisplayNamed(const QStringList& arguments);
