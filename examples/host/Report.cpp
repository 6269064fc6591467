#include "Report.h"

#include "Printable.h"

using namespace kvrUpdate;

namespace report
{

const char* PatchTypeName(int type)
{
    switch (type)
    {
    case PatchTypeBug:
        return "bug";
    case PatchTypeResource:
        return "resource";
    case PatchTypeFunction:
        return "function";
    case PatchTypeVersion:
        return "version";
    default:
        return "unknown";
    }
}

const char* PatchForceName(int force)
{
    switch (force)
    {
    case PatchForceWait:
        return "wait";
    case PatchForceCommon:
        return "common";
    case PatchForceRecommend:
        return "recommend";
    case PatchForceMust:
        return "must";
    default:
        return "unknown";
    }
}

std::string JoinVersions(const IVersionList* versions)
{
    std::string text;
    for (int i = 0; versions != nullptr && i < versions->GetCount(); ++i)
    {
        if (!text.empty())
            text += ", ";
        text += versions->GetAt(i)->ToString();
    }
    return text.empty() ? "none" : text;
}

void PrintVersionList(std::FILE* out, const IVersionList* versions)
{
    if (versions == nullptr || versions->GetCount() == 0)
    {
        std::fprintf(out, "  (none)\n");
        return;
    }
    for (int i = 0; i < versions->GetCount(); ++i)
        std::fprintf(out, "  %s\n", versions->GetAt(i)->ToString());
}

void PrintPatch(std::FILE* out, const IPatch* patch)
{
    std::fprintf(out, "  %-8s -> %-12s %-8s %-9s %s\n", Printable(patch->GetPatchNumber()).c_str(),
                 patch->GetResultVersion()->ToString(), PatchTypeName(patch->GetPatchType()),
                 PatchForceName(patch->GetPatchForce()), Printable(patch->GetTitle()).c_str());
    const char* dependOn = patch->GetDependOn();
    std::fprintf(out, "           applies to %s; depends on %s\n", JoinVersions(patch->GetApplyVersions()).c_str(),
                 *dependOn ? Printable(dependOn).c_str() : "nothing");
    if (*patch->GetComment())
        std::fprintf(out, "           %s\n", Printable(patch->GetComment()).c_str());
}

void PrintPatchList(std::FILE* out, const IPatchList* patches)
{
    if (patches == nullptr || patches->GetCount() == 0)
    {
        std::fprintf(out, "  (none)\n");
        return;
    }
    std::fprintf(out, "  %-8s    %-12s %-8s %-9s %s\n", "patch", "result", "type", "force", "title");
    for (int i = 0; i < patches->GetCount(); ++i)
        PrintPatch(out, patches->GetAt(i));
}

std::string JoinPatchNumbers(const IPatchList* patches)
{
    std::string text;
    for (int i = 0; patches != nullptr && i < patches->GetCount(); ++i)
    {
        if (!text.empty())
            text += ", ";
        text += Printable(patches->GetAt(i)->GetPatchNumber());
    }
    return text.empty() ? "none" : text;
}

namespace
{

void PrintFile(std::FILE* out, const char* indent, const IFileDef* file)
{
    std::fprintf(out, "%s%s  %lld bytes  md5 %s\n%s  from %s\n", indent, Printable(file->GetName()).c_str(),
                 file->GetLength(), *file->GetMd5() ? Printable(file->GetMd5()).c_str() : "-", indent,
                 Printable(file->GetUrl()).c_str());
}

} // namespace

void PrintPackage(std::FILE* out, const IUpdatePackage* package)
{
    std::fprintf(out, "  base url     %s\n", *package->GetBaseUrl() ? Printable(package->GetBaseUrl()).c_str() : "-");
    std::fprintf(out, "  direct type  %s\n",
                 *package->GetDirectType() ? Printable(package->GetDirectType()).c_str() : "-");
    const IFileDef* direct = package->GetDirectFile();
    if (*direct->GetUrl() || *direct->GetName())
    {
        std::fprintf(out, "  direct file\n");
        PrintFile(out, "    ", direct);
    }
    else
    {
        std::fprintf(out, "  direct file  -\n");
    }
    const IFileDefList* resource = package->GetResource();
    std::fprintf(out, "  resources    %d file%s\n", resource->GetCount(), resource->GetCount() == 1 ? "" : "s");
    for (int i = 0; i < resource->GetCount(); ++i)
        PrintFile(out, "    ", resource->GetAt(i));
}

void PrintFileCheck(std::FILE* out, const IFileCheckerDef* check)
{
    std::fprintf(out, "  type  %s\n  url   %s\n", *check->GetType() ? Printable(check->GetType()).c_str() : "-",
                 Printable(check->GetUrl()).c_str());
}

void PrintLocalState(std::FILE* out, const ILocalQuery* local)
{
    std::fprintf(out, "  installed version   %s\n", local->GetVersion()->ToString());
    std::fprintf(out, "  installed patches   %s\n", JoinPatchNumbers(local->GetPatchList(PatchListInstalled)).c_str());
    std::fprintf(out, "  downloaded patches  %s\n", JoinPatchNumbers(local->GetPatchList(PatchListDownloaded)).c_str());
}

} // namespace report
