#include "tools/qoinfo/exit_codes.h"

#include "platform/plain_file.h"

#include "platform/class_objects.h"
#include "platform/hresult_error.h"
#include "urlbase/url_base.h"

namespace qoinfo::tools {

namespace {

struct Named {
    HRESULT hr;
  const char* name;
};

const Named kNames[] = {
      {S_OK, "S_OK"},
      {S_FALSE, "S_FALSE"},
      {E_NOTIMPL, "E_NOTIMPL"},
      {E_NOINTERFACE, "E_NOINTERFACE"},
      {E_POINTER, "E_POINTER"},
      {E_ABORT, "E_ABORT"},
      {E_FAIL, "E_FAIL"},
      {E_UNEXPECTED, "E_UNEXPECTED"},
      {E_ACCESSDENIED, "E_ACCESSDENIED"},
      {E_HANDLE, "E_HANDLE"},
      {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
      {E_INVALIDARG, "E_INVALIDARG"},
      {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
      {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
      {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
      // HRESULT_FROM_WIN32 of the file errors a user meets most.
      {static_cast<HRESULT>(0x80070002u), "file not found"},
      {static_cast<HRESULT>(0x80070003u), "path not found"},
      {static_cast<HRESULT>(0x80070020u), "file in use by another process"},
      {static_cast<HRESULT>(0x80070050u), "file exists"},
      {static_cast<HRESULT>(0x80070070u), "disk full"},
      {static_cast<HRESULT>(0x8007010Bu), "not a folder"},
      {platform::kNotARegularFile, "not a regular file"},
      {CO_E_SERVER_STOPPING, "CO_E_SERVER_STOPPING"},
      {URLBASE_E_NOVISIT, "URLBASE_E_NOVISIT"},
      {URLBASE_E_INDEXESEXHAUSTED, "URLBASE_E_INDEXESEXHAUSTED"},
      {URLBASE_E_CORRUPT, "URLBASE_E_CORRUPT"},
      {URLBASE_E_LOCKED, "URLBASE_E_LOCKED"},
  };
const char* NameOf(HRESULT hr) {
  for (const Named& named : kNames) {
    if (named.hr == hr) return named.name;
  }
  return nullptr;
}

}  // namespace

std::string DescribeHResult(HRESULT hr) {
  const std::string code = platform::HResultCodeText(hr);
  const char* name = NameOf(hr);
  return name != nullptr ? std::string(name) + " (" + code + ")" : code;
}

std::string HResultSymbol(HRESULT hr) {
  const char* name = NameOf(hr);
  if (name != nullptr) return name;
  return platform::HResultCodeText(hr).substr(8);  // "0x8007000E"
}

}  // namespace qoinfo::tools
