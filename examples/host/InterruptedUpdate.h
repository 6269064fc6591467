// An update a crash cut short, finished before the host looks at or changes
// an install directory: the executor plug-in may export
//   int FinishInterruptedUpdate(const char* directory, char* message, int size)
// which finishes a swap its last run left half done (0), or says why it
// cannot (1, the reason in `message`). A plug-in without it has nothing to
// finish, or finishes it itself when it next applies.
#ifndef VESK_HOST_INTERRUPTEDUPDATE_H
#define VESK_HOST_INTERRUPTEDUPDATE_H

#include <string>

/// Loads `plugin` and calls its FinishInterruptedUpdate on `directory`. True
/// when the plug-in has no such entry or the entry succeeded; false, with
/// why in `error`, when the plug-in cannot be loaded or the entry failed.
bool FinishInterruptedUpdate(const std::string& plugin, const std::string& directory, std::string& error);

#endif // VESK_HOST_INTERRUPTEDUPDATE_H
