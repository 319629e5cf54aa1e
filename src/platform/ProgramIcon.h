#pragma once

#include <QIcon>

// The program's icon: a clock face, drawn at 16 and 32 pixels. Every window and the
// notification area show it.
QIcon ProgramIcon();
