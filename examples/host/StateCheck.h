// Checks of a state file's text before and after the updater reads it.
//
// The library reads a configuration leniently: a member of the wrong JSON
// type is read as if it were absent, and FromString still succeeds. Saving
// after such a read would store the defaults over what the file recorded, so
// the host compares what the updater took in with what the file says, and
// keeps the file when they differ.
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

/// The first recorded member of `root` (product, version center, installed
/// version, the patch numbers of both patch lists) that `updater`, loaded
/// from the same text, did not take in, with what the file holds and what
/// the library read; empty when it took in everything.
std::string FindLoss(const Json::Value& root, kvrUpdate::IUpdater& updater);

/// The updater's version center address (it has no getter of its own; its
/// query's configuration text carries it).
std::string VersionCenter(kvrUpdate::IUpdater& updater);

} // namespace statecheck

#endif // VESK_HOST_STATECHECK_H
