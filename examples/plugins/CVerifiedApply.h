// The download plug-in's verifying course, taken when the host hands trusted
// keys: nothing reaches the install directory unless the package's signed
// manifest verifies, is the manifest of what the host applies, the package
// answer names exactly its files, and every file that is not already in
// place intact has been downloaded aside with the manifest's length and
// SHA-256 into the staging area. Only then are the files swapped into the
// directory, under a journal (see CStagedSwap.h), and the files a patch's
// manifest lists as "removed" moved out with them.
#ifndef VESKPLUGINS_CVERIFIEDAPPLY_H
#define VESKPLUGINS_CVERIFIEDAPPLY_H

#include <VeskUpdate.h>

/// Applies the package the verifying way. Reports through the context one
/// line: "verified <what> by key <KEYID>" on success, otherwise why it
/// refused. Calls failed->OnItem (when not null) for a file that did not
/// arrive intact. When it returns false because of a refusal before the
/// files are moved, the directory is as it was.
bool ApplyVerified(const kvrUpdate::IUpdatePackage* package, const char* directory,
                   IEnumable<const kvrUpdate::IFileDef*>::IEnum* failed, kvrUpdate::IExecutionContext& context);

#endif // VESKPLUGINS_CVERIFIEDAPPLY_H
