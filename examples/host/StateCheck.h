// Checks of a state file's text before the updater reads it.
#ifndef VESK_HOST_STATECHECK_H
#define VESK_HOST_STATECHECK_H

#include <VeskUpdate.h>

#include <json/json.h>

#include <string>

namespace statecheck
{

/// Parses the text as the library does (comments allowed) into `root`.
/// Empty when it is a JSON object; otherwise what is wrong with it, e.g.
/// "begins with a UTF-8 byte-order mark ..." or "is not valid JSON: line 3,
/// column 1: ...".
std::string Parse(const std::string& text, Json::Value& root);

/// The updater's version center address (it has no getter of its own; its
/// query's configuration text carries it).
std::string VersionCenter(kvrUpdate::IUpdater& updater);

} // namespace statecheck

#endif // VESK_HOST_STATECHECK_H
