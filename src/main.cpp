#include "modules/modGeneral.h"
#include "modules/modGlobal.h"
#include "platform/AppError.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    try {
        gProjects = std::make_unique<clsProject>();
        gConnectionString = ConnectionStringFor(GetAppPath());
        LoadProjects();
        std::printf("%d projects\n", gProjects->Count());
    } catch (const AppError& e) {
        std::fprintf(stderr, "Tallyclock: %s\n", e.what());
        return 1;
    }
    return 0;
}
