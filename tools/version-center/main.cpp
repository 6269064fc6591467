// version-center: serves a catalog of products to the update library over
// HTTP and publishes release folders into a catalog. See README.md.
#include "Commands.h"

#include <cstring>

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "publish") == 0)
        return versionCenter::PublishCommand(argc, argv);
    return versionCenter::ServeCommand(argc, argv);
}
