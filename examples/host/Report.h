// Readable reports of the records the library lends. Every function only reads
// through the public interfaces and keeps no pointer. Every text that came
// from the version center is printed through Printable.
#ifndef VESK_HOST_REPORT_H
#define VESK_HOST_REPORT_H

#include <VeskUpdate.h>

#include <cstdio>
#include <string>

namespace report
{

/// The name of a patch type or force value as the version center spells it,
/// or "unknown" for -1 and any value outside the tables.
const char* PatchTypeName(int type);
const char* PatchForceName(int force);

/// The versions of a list joined with ", ", or "none".
std::string JoinVersions(const kvrUpdate::IVersionList* versions);

/// One line per version, indented.
void PrintVersionList(std::FILE* out, const kvrUpdate::IVersionList* versions);

/// A patch in two or three lines: number, step, type and force, title; what
/// it applies to and depends on; the comment if any.
void PrintPatch(std::FILE* out, const kvrUpdate::IPatch* patch);

/// Every patch of a list, or "(none)".
void PrintPatchList(std::FILE* out, const kvrUpdate::IPatchList* patches);

/// The patch numbers of a list joined with ", ", or "none".
std::string JoinPatchNumbers(const kvrUpdate::IPatchList* patches);

/// The direct file, its type, the base address and the resource files.
void PrintPackage(std::FILE* out, const kvrUpdate::IUpdatePackage* package);

/// The check's type and address.
void PrintFileCheck(std::FILE* out, const kvrUpdate::IFileCheckerDef* check);

/// Product, installed version and both patch lists of the local state.
void PrintLocalState(std::FILE* out, const kvrUpdate::ILocalQuery* local);

} // namespace report

#endif // VESK_HOST_REPORT_H
