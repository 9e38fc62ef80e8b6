#include "tools/qoinfo/embedded_connection.h"

#include "index/time_url_container.h"
#include "platform/data_directory.h"
#include "platform/hresult_error.h"

namespace qoinfo::tools {

HRESULT EmbeddedConnection::HasPage(std::int64_t time,
                                    const std::u16string& url,
                                    bool* indexed) {
  try {
    // Only time and URL identify a page record.
    const CTimeURLContainer visit(time, url, std::u16string(),
                                  std::u16string());
    *indexed = m_embedded.agent_object()->Records().FindRecord(visit) >= 1;
    return S_OK;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

std::u16string EmbeddedConnection::LocalDataDirectory() const {
  if (!m_dataDirectory.empty()) return m_dataDirectory;
  std::u16string folder;
  return SUCCEEDED(platform::UserDataDirectory(&folder)) ? folder
                                                         : std::u16string();
}

HRESULT EmbeddedConnection::CountIndex(IndexCounts* counts) {
  const CZuInfoAgent* agent = m_embedded.agent_object();
  *counts = IndexCounts();
  counts->pages = agent->Records().RecordCount();
  counts->last_page_id = agent->Records().lastId();
  counts->words = agent->Words().WordCount();
  counts->postings = agent->Words().PostingCount();
  return S_OK;
}

}  // namespace qoinfo::tools
