// Sample file-checker plug-in, type "sha256": checks the installed files of
// a version against the lengths and SHA-256s of that version's signed
// manifest. The host hands it the trusted keys, the manifest's address and
// what it must be for through its context (see SignedPackage.h; expect.kind
// is "version"). The file list it is given (the version center's answer)
// counts for nothing but the names: a name there that the manifest does not
// list fails, and every manifest file is checked.
//
// Without trusted keys it has nothing to check against, and refuses.
//
// Entry: CreateFileChecker. Register it with
//   manager->RegisterModule("libVeskSignedChecker.so", "CreateFileChecker");
#include "PluginFiles.h"
#include "SignedPackage.h"

#include <new>
#include <set>
#include <string>

using namespace kvrUpdate;

namespace
{

const char kType[] = "sha256";

class CSignedFileChecker final : public IContextFileChecker
{
public:
    bool IsType(const char* type) override { return IsPluginType(type, kType, true); }

    void EnumTypes(IEnumable<const char*>::IEnum* callback) override { EnumPluginType(callback, kType); }

    void Release() override { delete this; }

    bool CheckFiles(const IFileDefList*, const char*, IEnumable<const IFileDef*>::IEnum*) override { return false; }

    bool CheckFilesWith(const IFileDefList* files, const char* directory, IEnumable<const IFileDef*>::IEnum* failed,
                        IExecutionContext* context) override
    {
        if (context == nullptr)
            return false;
        if (!signedpackage::HasTrust(context))
        {
            context->OnReport("refused: without trusted keys there is no signed manifest to check the files against");
            return false;
        }
        if (directory == nullptr || *directory == '\0')
            return false;
        try
        {
            return Check(files, directory, failed, *context);
        }
        catch (...)
        {
            context->OnReport("the files could not be checked (out of memory or a file system error)");
            return false;
        }
    }

private:
    static bool Check(const IFileDefList* files, const char* directory, IEnumable<const IFileDef*>::IEnum* failed,
                      IExecutionContext& context)
    {
        vesktrust::CManifest manifest;
        std::string keyId;
        std::string reason;
        if (!signedpackage::FetchExpectedManifest(context, manifest, keyId, reason))
        {
            context.OnReport(reason.c_str());
            return false;
        }
        if (manifest.kind != "version")
        {
            context.OnReport("only a version's files can be checked, not a patch's");
            return false;
        }
        CInstallDir install;
        std::string problem;
        if (!install.Open(directory, problem))
        {
            context.OnReport(problem.c_str());
            return false;
        }
        std::set<std::string> listed;
        for (const vesktrust::CManifestFile& file : manifest.files)
            listed.insert(file.name);

        bool ok = true;
        for (int i = 0; files != nullptr && i < files->GetCount(); ++i)
        {
            const IFileDef* file = files->GetAt(i);
            if (file != nullptr && listed.count(signedpackage::ManifestName(*file)) == 0)
            {
                ok = false;
                if (failed != nullptr)
                    failed->OnItem(file);
            }
        }
        for (const vesktrust::CManifestFile& file : manifest.files)
        {
            // A file behind a link, or a link itself, never matches.
            if (signedpackage::FileMatches(install, file))
                continue;
            ok = false;
            if (failed != nullptr)
            {
                signedpackage::CManifestFileDef definition(file);
                failed->OnItem(&definition);
            }
        }
        const std::string line = "verified " + signedpackage::Describe(manifest) + " by key " + keyId;
        if (ok)
            context.OnReport(line.c_str());
        return ok;
    }
};

} // namespace

VESK_PLUGIN_ENTRY IFileChecker* CreateFileChecker()
{
    return new (std::nothrow) CSignedFileChecker;
}
