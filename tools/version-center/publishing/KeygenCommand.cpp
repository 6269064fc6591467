// version-center keygen: a new signing key pair in minisign's formats.
#include "Commands.h"

#include <Minisign.h>

#include <cstdio>
#include <string>
#include <vector>

namespace versionCenter
{
namespace
{

const char kSynopsis[] = "version-center keygen --secret FILE --public FILE";

const std::vector<cli::COption> kOptions = {{"secret", "FILE", 0}, {"public", "FILE", 0}};

const std::string kHelp = std::string("usage: ") + kSynopsis +
                          "\n"
                          "\n"
                          "Makes a new Ed25519 key pair for `publish --sign`, in minisign's file\n"
                          "formats: the secret key (mode 0600, not encrypted: `minisign -S -s FILE`\n"
                          "signs with it without asking for a password) and the public key hosts\n"
                          "trust. Neither file may exist; nothing is replaced. Prints the key id.\n"
                          "Keep the secret key offline, on the machine that publishes.\n"
                          "\n"
                          "  --secret FILE         the secret key to create\n"
                          "  --public FILE         the public key to create\n"
                          "  -h, --help            this text\n"
                          "  --version             the program's name and version\n"
                          "\n"
                          "Exit status: 0 done; 1 a file exists or cannot be written (neither is\n"
                          "left behind); 2 the command line cannot be carried out as given.\n";

} // namespace

int KeygenCommand(int argc, const char* const* argv)
{
    cli::CCommandLine line("version-center", kSynopsis);
    int status = cli::ExitOk;
    if (!line.Start(argc, argv, kOptions, kHelp.c_str(), status) ||
        !TakesOptionsOnly(line, "keygen", {"secret", "public"}, status))
        return status;
    if (line.Value("secret") == line.Value("public"))
        return line.UsageError("keygen needs two different files");
    vesktrust::CPublicKey key;
    std::string error;
    if (!vesktrust::GenerateKeyPair(line.Value("secret"), line.Value("public"), key, error))
        return line.Fail(error);
    std::printf("version-center: key %s: secret key %s, public key %s\n", key.KeyIdText().c_str(),
                line.Value("secret").c_str(), line.Value("public").c_str());
    return cli::ExitOk;
}

} // namespace versionCenter
