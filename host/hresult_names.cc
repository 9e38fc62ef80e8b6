#include "host/hresult_names.h"

#include "platform/class_objects.h"
#include "platform/connection_point.h"
#include "urlbase/url_base.h"

namespace qoinfo {
namespace {

struct NamedCode {
  HRESULT hr;
  const char* symbol;
};

const NamedCode kCodes[] = {
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
    {CO_E_SERVER_STOPPING, "CO_E_SERVER_STOPPING"},
    {CONNECT_E_NOCONNECTION, "CONNECT_E_NOCONNECTION"},
    {CONNECT_E_CANNOTCONNECT, "CONNECT_E_CANNOTCONNECT"},
    {URLBASE_E_NOVISIT, "URLBASE_E_NOVISIT"},
    {URLBASE_E_INDEXESEXHAUSTED, "URLBASE_E_INDEXESEXHAUSTED"},
    {URLBASE_E_CORRUPT, "URLBASE_E_CORRUPT"},
    {URLBASE_E_LOCKED, "URLBASE_E_LOCKED"},
};

}  // namespace

std::string HResultSymbol(HRESULT hr) {
  for (const NamedCode& code : kCodes) {
    if (code.hr == hr) return code.symbol;
  }
  return std::string();
}

bool HResultFromSymbol(const std::string& symbol, HRESULT* hr) {
  for (const NamedCode& code : kCodes) {
    if (symbol == code.symbol) {
      *hr = code.hr;
      return true;
    }
  }
  return false;
}

}  // namespace qoinfo
