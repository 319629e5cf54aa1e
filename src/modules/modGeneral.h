#pragma once

#include "classes/clsProject.h"
#include "modules/modSystemTrayIcon.h"

#include <QString>

#include <memory>

// The program's shared state, for the whole run; none of it is ever written to disk.
extern std::unique_ptr<clsProject> gProjects; // the loaded projects; made at start-up
extern NOTIFYICONDATA gTrayIcon; // the notification-area icon record
extern qint32 gActiveProjectID; // the project timings are stored for; 0 = none yet
extern double gStartTime; // start of the running or last timing
extern double gEndTime; // end of the last timing
extern QString gConnectionString; // how every operation reaches the database
