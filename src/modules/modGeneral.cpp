#include "modules/modGeneral.h"

std::unique_ptr<clsProject> gProjects;
NOTIFYICONDATA gTrayIcon;
qint32 gActiveProjectID = 0;
double gStartTime = 0;
double gEndTime = 0;
QString gConnectionString;
