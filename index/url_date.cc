#include "index/url_date.h"

#include "platform/hresult_error.h"

namespace qoinfo {
namespace {

// A copy of `source`, or null for null; throws when the copy fails.
BSTR CopyOrNull(BSTR source) {
  if (source == nullptr) return nullptr;
  BSTR copy = SysAllocString(source);
  if (copy == nullptr) throw platform::HResultError(E_OUTOFMEMORY);
  return copy;
}

}  // namespace

CUrlDate::CUrlDate(const _URL_DATE_IA& data) : m_time(data.Time) {
  try {
    m_url = CopyOrNull(data.Url);
    m_text = CopyOrNull(data.Text);
    m_path = CopyOrNull(data.Path);
    m_title = CopyOrNull(data.Title);
  } catch (...) {
    FreeStrings();
    throw;
  }
}

CUrlDate::~CUrlDate() { FreeStrings(); }

void CUrlDate::FreeStrings() {
  SysFreeString(m_title);
  SysFreeString(m_path);
  SysFreeString(m_text);
  SysFreeString(m_url);
  m_title = m_path = m_text = m_url = nullptr;
}

}  // namespace qoinfo
