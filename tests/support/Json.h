// JSON text parsed for checking, with jsoncpp's reader in its default
// configuration (the one documents are read with), independently of the
// code under test.
#ifndef VESKUPDATE_TESTS_SUPPORT_JSON_H
#define VESKUPDATE_TESTS_SUPPORT_JSON_H

#include <json/json.h>

#include <string>

namespace testsupport
{

/// The value of `text`; a null value, and a test failure naming the text,
/// when it is not JSON.
Json::Value Parse(const std::string& text);

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_JSON_H
