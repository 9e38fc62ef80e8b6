#include "index/id_container.h"

#include <algorithm>
#include <string_view>

namespace qoinfo {

std::size_t CIDContainer::HashVisit(const CTimeURLContainer& record) {
  const std::size_t url_hash = std::hash<std::u16string_view>{}(record.m_url);
  const std::size_t time_hash = std::hash<std::int64_t>{}(record.m_time);
  return url_hash ^ (time_hash + 0x9E3779B97F4A7C15ull + (url_hash << 6) +
                     (url_hash >> 2));
}

CIDContainer::CIDContainer(const CIDContainer& other)
    : m_image(other.m_image),
      m_shared(std::make_shared<SharedRecordMap>(
          other.m_shared->records(), other.m_image,
          other.m_shared->image_removed())),
      m_lastId(other.m_lastId),
      m_byVisit(other.m_byVisit) {}

CIDContainer& CIDContainer::operator=(const CIDContainer& other) {
  if (this != &other) {
    // A new map: snapshots of the old one keep seeing the old records.
    auto shared = std::make_shared<SharedRecordMap>(
        other.m_shared->records(), other.m_image,
        other.m_shared->image_removed());
    auto by_visit = other.m_byVisit;
    m_shared.swap(shared);
    m_byVisit.swap(by_visit);
    m_image = other.m_image;
  }
  m_lastId = other.m_lastId;
  return *this;
}

void CIDContainer::AttachImage(std::shared_ptr<const IndexImage> image) {
  // A new map: snapshots of the old one keep the old image and records.
  auto shared = std::make_shared<SharedRecordMap>(
      SharedRecordMap::RecordMap(), image,
      std::unordered_map<std::int64_t, std::uint64_t>());
  m_byVisit.clear();
  m_shared.swap(shared);
  m_lastId = image == nullptr ? 0 : image->last_id();
  m_image = std::move(image);
}

std::int64_t CIDContainer::FindRecord(const CTimeURLContainer& record) const {
  std::int64_t found = 0;
  // The image's records of this visit come in ascending order: the first
  // still present is the image's lowest.
  if (m_image != nullptr) {
    for (const std::int64_t id : m_image->IdsOfVisit(record.m_time, record.m_url)) {
      if (m_shared->ImageRecordAt(id) != SharedRecordMap::npos) {
        found = id;
        break;
      }
    }
  }
  const CTimeURLContainerComparer same_visit(record);
  const RecordMap& records = m_shared->records();
  const auto [first, last] = m_byVisit.equal_range(HashVisit(record));
  for (auto it = first; it != last; ++it) {
    const auto entry = records.find(it->second);
    if (entry != records.end() && same_visit(*entry) &&
        (found == 0 || entry->first < found)) {
      found = entry->first;
    }
  }
  return found;
}

std::int64_t CIDContainer::AddRecord(const CTimeURLContainer& record) {
  if (const std::int64_t existing = FindRecord(record); existing != 0) {
    return existing;
  }
  // The counter never wraps and never issues 0 or a negative identifier. An
  // identifier already in use (a file whose counter lags behind its records)
  // is skipped, so that a new page never shares another page's identifier.
  std::int64_t id = m_lastId < 0 ? 0 : m_lastId;
  do {
    if (id >= kMaxId) return 0;
    ++id;
  } while (m_shared->records().count(id) != 0 ||
           m_shared->ImageRecordAt(id) != SharedRecordMap::npos);
  const auto entry = m_shared->Insert(id, record).first;
  try {
    m_byVisit.emplace(HashVisit(record), id);
  } catch (...) {
    m_shared->Erase(entry);
    throw;
  }
  m_lastId = id;
  return id;
}

bool CIDContainer::RemoveRecord(std::int64_t id) {
  if (id <= 0) return false;
  const auto entry = m_shared->Find(id);
  if (entry == m_shared->records().end()) {
    if (m_shared->ImageRecordAt(id) == SharedRecordMap::npos) return false;
    m_shared->RemoveImageRecord(id);
    return true;
  }
  const auto [first, last] = m_byVisit.equal_range(HashVisit(entry->second));
  for (auto it = first; it != last; ++it) {
    if (it->second == id) {
      m_byVisit.erase(it);
      break;
    }
  }
  m_shared->Erase(entry);
  return true;
}

void CIDContainer::InsertLoaded(std::int64_t id, CTimeURLContainer record) {
  if (m_shared->ImageRecordAt(id) != SharedRecordMap::npos) return;
  const std::size_t hash = HashVisit(record);
  const auto [entry, inserted] = m_shared->Insert(id, std::move(record));
  if (!inserted) return;
  try {
    m_byVisit.emplace(hash, id);
  } catch (...) {
    m_shared->Erase(entry);
    throw;
  }
}

bool CIDContainer::GetRecord(std::int64_t id, CTimeURLContainer* record) const {
  const RecordMap& records = m_shared->records();
  if (const auto entry = records.find(id); entry != records.end()) {
    *record = entry->second;
    return true;
  }
  const std::size_t at = m_shared->ImageRecordAt(id);
  if (at == SharedRecordMap::npos) return false;
  *record = CTimeURLContainer(m_image->RecordAt(at));
  return true;
}

void CIDContainer::ForEachRecord(
    const std::function<void(std::int64_t, const RecordView&)>& use) const {
  const RecordMap& records = m_shared->records();
  const auto& removed = m_shared->image_removed();
  const std::size_t stop = m_image == nullptr ? 0 : m_image->record_count();
  std::size_t at = 0;
  auto it = records.begin();
  while (at < stop || it != records.end()) {
    if (at < stop) {
      const std::int64_t id = m_image->RecordIdAt(at);
      if (it == records.end() || id < it->first) {
        if (removed.empty() || removed.count(id) == 0) use(id, m_image->RecordAt(at));
        ++at;
        continue;
      }
      if (id == it->first) ++at;  // the memory's record stands
    }
    use(it->first, it->second.View());
    ++it;
  }
}

std::size_t CIDContainer::RecordCount() const {
  const std::size_t image =
      m_image == nullptr ? 0 : m_image->record_count() -
                                   m_shared->image_removed().size();
  return image + m_shared->records().size();
}

CIDContainer::RecordMap CIDContainer::GetRecords() const {
  RecordMap copy;
  ForEachRecord([&](std::int64_t id, const RecordView& record) {
    copy.emplace_hint(copy.end(), id, CTimeURLContainer(record));
  });
  return copy;
}

void CIDContainer::Write(StreamWriter& writer) const {
  writer.PutFixed64(m_lastId);
  writer.PutFixed32(static_cast<std::uint32_t>(RecordCount()));
  ForEachRecord([&](std::int64_t id, const RecordView& record) {
    writer.PutFixed64(id);
    CTimeURLContainer::Write(writer, record);
  });
}

void CIDContainer::Read(StreamReader& reader) {
  std::int64_t last_id = 0;
  if (!reader.ReadFixed64(&last_id, "the last identifier")) return;
  m_lastId = last_id;
  std::uint32_t count = 0;
  if (!reader.ReadFixed32(&count, "the record count")) return;
  // Room in the visit index for the records the stream can hold (a record
  // takes at least 28 bytes), not for whatever the count claims.
  constexpr std::uint64_t kLeastRecordBytes = 8 + 8 + 3 * 4;
  m_byVisit.reserve(m_byVisit.size() +
                    static_cast<std::size_t>(std::min<std::uint64_t>(
                        count, reader.remaining() / kLeastRecordBytes)));
  std::int64_t previous = 0;
  CTimeURLContainer record;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t at = reader.offset();
    std::int64_t id = 0;
    if (!reader.ReadFixed64(&id, "a record identifier") || !record.Read(reader)) {
      return;
    }
    if (i > 0 && id <= previous) {
      reader.Report(at, "record identifier " + std::to_string(id) +
                            " out of order", false);
    }
    if (id <= 0) {
      reader.Report(at, "record identifier " + std::to_string(id) +
                            " is not positive", false);
    }
    previous = id;
    InsertLoaded(id, std::move(record));  // Read refills every field
  }
  if (reader.remaining() > 0) {
    reader.Report(reader.offset(),
                  std::to_string(reader.remaining()) +
                      " bytes after the last record",
                  false);
  }
}

HRESULT CIDContainer::Serialize(IStream* stream, bool bLoad,
                                StreamProblem* problem) {
  return SerializeWith(
      stream, bLoad, problem, [&](StreamReader& r) { Read(r); },
      [&](StreamWriter& w) { Write(w); });
}

}  // namespace qoinfo
