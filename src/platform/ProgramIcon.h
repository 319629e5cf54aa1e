#pragma once

#include <QIcon>

// The program's icon, a clock face: the icon theme's, else the scalable one built into the
// program. Every window and the notification area show it.
QIcon ProgramIcon();
