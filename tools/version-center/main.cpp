// version-center: serves a catalog of products to the update library over
// HTTP, publishes release folders into a catalog, and exports a catalog as
// static files for nginx. See README.md.
#include "Commands.h"

#include <cstring>

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "publish") == 0)
        return versionCenter::PublishCommand(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "export") == 0)
        return versionCenter::ExportCommand(argc, argv);
    return versionCenter::ServeCommand(argc, argv);
}
