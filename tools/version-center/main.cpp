// version-center: serves a catalog of products to the update library over
// HTTP, publishes release folders into a catalog (signed, with a key made by
// keygen), and exports a catalog as static files for nginx. See README.md.
#include "Commands.h"

#include <cstring>

int main(int argc, char** argv)
{
    // The command's words follow the program's name; the default command,
    // serving, takes the program's own (a catalog named like a command is
    // given after "--").
    if (argc > 1 && std::strcmp(argv[1], "publish") == 0)
        return versionCenter::PublishCommand(argc - 1, argv + 1);
    if (argc > 1 && std::strcmp(argv[1], "keygen") == 0)
        return versionCenter::KeygenCommand(argc - 1, argv + 1);
    if (argc > 1 && std::strcmp(argv[1], "export") == 0)
        return versionCenter::ExportCommand(argc - 1, argv + 1);
    return versionCenter::ServeCommand(argc, argv);
}
