#include "index/time_url_container.h"

namespace qoinfo {

void CTimeURLContainer::Write(StreamWriter& writer, const RecordView& record) {
  writer.PutFixed64(record.time);
  writer.PutCountedString(record.url);
  writer.PutCountedString(record.path);
  writer.PutCountedString(record.title);
}

bool CTimeURLContainer::Read(StreamReader& reader) {
  return reader.ReadFixed64(&m_time, "record time") &&
         reader.ReadCountedString(&m_url, "record URL") &&
         reader.ReadCountedString(&m_path, "record path") &&
         reader.ReadCountedString(&m_title, "record title");
}

HRESULT CTimeURLContainer::Serialize(IStream* stream, bool bLoad,
                                     StreamProblem* problem) {
  return SerializeWith(
      stream, bLoad, problem, [&](StreamReader& r) { Read(r); },
      [&](StreamWriter& w) { Write(w); });
}

}  // namespace qoinfo
