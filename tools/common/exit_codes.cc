#include "tools/common/exit_codes.h"

#include "host/hresult_names.h"
#include "platform/class_objects.h"
#include "platform/hresult_error.h"
#include "platform/plain_file.h"
#include "urlbase/url_base.h"

namespace qoinfo::tools {

namespace {

struct Named {
  HRESULT hr;
  const char* name;
};

// Codes that are not failures of an interface, and the file errors a user
// meets most (HRESULT_FROM_WIN32), told in words; every other symbol comes
// from the servers' table (host/hresult_names.h).
const Named kNames[] = {
    {S_OK, "S_OK"},
    {S_FALSE, "S_FALSE"},
    {static_cast<HRESULT>(0x80070002u), "file not found"},
    {static_cast<HRESULT>(0x80070003u), "path not found"},
    {static_cast<HRESULT>(0x80070020u), "file in use by another process"},
    {static_cast<HRESULT>(0x80070050u), "file exists"},
    {static_cast<HRESULT>(0x80070070u), "disk full"},
    {static_cast<HRESULT>(0x8007010Bu), "not a folder"},
    {platform::kNotARegularFile, "not a regular file"},
    {platform::kSymbolicLink, "a symbolic link, which a data file must not be"},
};
std::string NameOf(HRESULT hr) {
  for (const Named& named : kNames) {
    if (named.hr == hr) return named.name;
  }
  return qoinfo::HResultSymbol(hr);
}

}  // namespace

std::string DescribeHResult(HRESULT hr) {
  const std::string code = platform::HResultCodeText(hr);
  const std::string name = NameOf(hr);
  return name.empty() ? code : name + " (" + code + ")";
}

std::string HResultSymbol(HRESULT hr) {
  const std::string name = NameOf(hr);
  if (!name.empty()) return name;
  return platform::HResultCodeText(hr).substr(8);  // "0x8007000E"
}

}  // namespace qoinfo::tools
