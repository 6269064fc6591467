// Sample file-checker plug-in, type "md5": checks installed files against a
// list of file definitions by their length and MD5, reading them without
// following any link inside the directory.
//
// Entry: CreateFileChecker. Register it with
//   manager->RegisterModule("libVeskMd5Checker.so", "CreateFileChecker");
#include "PluginFiles.h"

#include <new>
#include <string>

using namespace kvrUpdate;

namespace
{

const char kType[] = "md5";

class CMd5FileChecker final : public IFileChecker
{
public:
    bool IsType(const char* type) override { return IsPluginType(type, kType, false); }

    void EnumTypes(IEnumable<const char*>::IEnum* callback) override { EnumPluginType(callback, kType); }

    void Release() override { delete this; }

    bool CheckFiles(const IFileDefList* files, const char* directory,
                    IEnumable<const IFileDef*>::IEnum* failed) override
    {
        if (files == nullptr || directory == nullptr || *directory == '\0')
            return false;
        try
        {
            CInstallDir install;
            std::string ignored;
            if (!install.Open(directory, ignored))
                return false;
            bool ok = true;
            for (int i = 0; i < files->GetCount(); ++i)
            {
                // A file behind a link, or a link itself, never matches:
                // what it points to is not part of the install.
                const IFileDef* file = files->GetAt(i);
                if (file == nullptr)
                    continue;
                const char* name = file->GetName();
                if (name != nullptr && FileMatches(install, name, *file))
                    continue;
                ok = false;
                if (failed != nullptr)
                    failed->OnItem(file);
            }
            return ok;
        }
        catch (...)
        {
            return false;
        }
    }
};

} // namespace

VESK_PLUGIN_ENTRY IFileChecker* CreateFileChecker()
{
    return new (std::nothrow) CMd5FileChecker;
}
