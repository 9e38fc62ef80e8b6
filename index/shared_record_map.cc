#include "index/shared_record_map.h"

namespace qoinfo {

SharedRecordMap::SharedRecordMap(
    RecordMap records, std::shared_ptr<const IndexImage> image,
    const std::unordered_map<std::int64_t, std::uint64_t>& removed)
    : m_records(std::move(records)), m_image(std::move(image)) {
  // Out before any snapshot of this map.
  for (const auto& entry : removed) m_imageRemoved.emplace(entry.first, 0);
}

std::size_t SharedRecordMap::ImageRecordAt(std::int64_t id) const {
  if (m_image == nullptr || m_image->record_count() == 0) return npos;
  // Most identifiers asked for are new pages, above the image's.
  if (id > m_image->RecordIdAt(m_image->record_count() - 1)) return npos;
  const std::size_t at = m_image->FindRecord(id);
  if (at >= m_image->record_count() || m_imageRemoved.count(id) != 0) {
    return npos;
  }
  return at;
}

void SharedRecordMap::RemoveImageRecord(std::int64_t id) {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_changes;
  m_imageRemoved.emplace(id, m_changes);
}

std::size_t SharedRecordMap::ImageAt(std::int64_t id,
                                     std::uint64_t version) const {
  if (m_image == nullptr) return npos;
  const std::size_t at = m_image->FindRecord(id);
  if (at >= m_image->record_count()) return npos;
  const auto removed = m_imageRemoved.find(id);
  if (removed != m_imageRemoved.end() && removed->second <= version) return npos;
  return at;
}

std::pair<SharedRecordMap::RecordMap::iterator, bool> SharedRecordMap::Insert(
    std::int64_t id, CTimeURLContainer record) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto inserted = m_records.emplace(id, std::move(record));
  if (!inserted.second) return inserted;
  ++m_changes;
  if (!m_open.empty()) {
    try {
      m_addedAt[id] = m_changes;
    } catch (...) {
      m_records.erase(inserted.first);
      throw;
    }
  }
  return inserted;
}

void SharedRecordMap::Erase(RecordMap::iterator at) {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_changes;
  if (!m_open.empty()) {
    const std::uint64_t added = AddedAt(at->first);
    m_addedAt.erase(at->first);
    // Kept only when an open snapshot saw it (every open one was taken
    // before this removal).
    if (added <= *m_open.rbegin()) {
      m_removed.emplace(at->first,
                        Removed{std::move(at->second), added, m_changes});
    }
  }
  m_records.erase(at);
}

std::shared_ptr<const RecordSnapshot> SharedRecordMap::Snapshot() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_open.insert(m_changes);
  try {
    const bool empty =
        m_records.empty() &&
        (m_image == nullptr || m_image->record_count() == m_imageRemoved.size());
    return std::make_shared<RecordSnapshot>(shared_from_this(), m_changes,
                                            empty);
  } catch (...) {
    m_open.erase(m_open.find(m_changes));
    throw;
  }
}

std::uint64_t SharedRecordMap::AddedAt(std::int64_t id) const {
  const auto found = m_addedAt.find(id);
  return found == m_addedAt.end() ? 0 : found->second;
}

const CTimeURLContainer* SharedRecordMap::FindAt(std::int64_t id,
                                                std::uint64_t version) const {
  const auto live = m_records.find(id);
  if (live != m_records.end() && AddedAt(id) <= version) return &live->second;
  const auto [first, last] = m_removed.equal_range(id);
  for (auto it = first; it != last; ++it) {
    if (it->second.added <= version && version < it->second.removed) {
      return &it->second.record;
    }
  }
  return nullptr;
}

void SharedRecordMap::Close(std::uint64_t version) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_open.erase(m_open.find(version));
  if (m_open.empty()) {
    m_addedAt.clear();
    m_removed.clear();
    return;
  }
  const std::uint64_t oldest = *m_open.begin();
  const std::uint64_t newest = *m_open.rbegin();
  if (version >= oldest) return;  // the oldest snapshot is still open
  // Additions every open snapshot sees need no count any more; removed
  // records no open snapshot saw are gone for good.
  std::erase_if(m_addedAt, [&](const auto& entry) {
    return entry.second <= oldest;
  });
  std::erase_if(m_removed, [&](const auto& entry) {
    return entry.second.removed <= oldest || entry.second.added > newest;
  });
}

}  // namespace qoinfo
