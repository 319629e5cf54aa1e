#pragma once

#include <QStringList>

// The program's options (--help, --version, --autostart, --no-autostart, and the settings'), handled without a
// display and without a window. The arguments include the program's name first. Returns the
// exit status: 0 done, 1 failed, 2 an unknown option or argument.
int RunCommandLine(const QStringList& arguments);
