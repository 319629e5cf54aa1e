#pragma once

#include <QIcon>

// The program's icon, a clock face: the icon theme's, else the scalable one built into the
// program. Every window and the notification area show it; while a timing runs the main window
// and the notification area show its running variant, the face with a green dot.
QIcon ProgramIcon(bool running = false);
