// The full path of a plug-in library, learned by loading it once.
#ifndef VESKUPDATE_MODULEFULLPATH_H
#define VESKUPDATE_MODULEFULLPATH_H

#include <string>

/// Loads the library `file` (by name or path, under the system's search
/// rules), asks the loader for the full path of the file it opened and frees
/// the library again. Empty when the library cannot be loaded or its path
/// cannot be learned.
std::string GetModuleFullPath(const char* file);

#endif // VESKUPDATE_MODULEFULLPATH_H
