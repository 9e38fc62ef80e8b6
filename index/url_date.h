// CUrlDate: the owned working copy of one incoming _URL_DATE_IA record while
// AddData files it. Each non-null string is copied with SysAllocString (so
// it ends at the caller's first NUL); a null one stays null. Construction
// raises HResultError(E_OUTOFMEMORY) when a copy cannot be allocated, with
// nothing left allocated. Never stored.
#pragma once

#include <cstdint>

#include "com/interfaces.h"

namespace qoinfo {

class CUrlDate {
 public:
  explicit CUrlDate(const _URL_DATE_IA& data);
  CUrlDate(const CUrlDate&) = delete;
  CUrlDate& operator=(const CUrlDate&) = delete;
  virtual ~CUrlDate();

  std::int64_t m_time = 0;
  BSTR m_url = nullptr;
  BSTR m_text = nullptr;
  BSTR m_path = nullptr;
  BSTR m_title = nullptr;

 private:
  void FreeStrings();
};

}  // namespace qoinfo
