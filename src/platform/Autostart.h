#pragma once

#include <QTextStream>

// The XDG autostart entry, $XDG_CONFIG_HOME/autostart/<the program's id>.desktop: the desktop
// starts the program when the user logs in. Only an entry the program wrote, unchanged, is
// replaced or removed; a user's own entry and a symbolic link are left alone, with a message
// naming the file. Each returns the exit status: 0 done, 1 refused or failed, and then the
// entry is as it was.
int WriteAutostart(QTextStream& out, QTextStream& err);
int RemoveAutostart(QTextStream& out, QTextStream& err);
