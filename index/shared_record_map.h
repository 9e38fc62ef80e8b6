// SharedRecordMap: the page records, shared between the index that changes
// them and the search snapshots that must keep seeing them as they were.
//
// A search takes a RecordSnapshot instead of copying its hits' records. The
// map counts its changes; a snapshot remembers the count it was taken at.
// While snapshots are open, a record added keeps the count of its addition
// and a record removed moves aside with the counts of its addition and
// removal, so each snapshot finds exactly the records it saw. Once no open
// snapshot can ask for them, those traces are dropped: without open
// snapshots the map holds nothing but the records.
//
// The records of the index image (immutable) are the base under the map's
// own: an image record taken out is noted with its change count, so that
// older snapshots still find it; the image stays alive while a snapshot
// of this map is open.
//
// Thread safety: changes and snapshot lookups take the map's mutex, so a
// snapshot may be read on any thread while the owner changes the map. The
// owner's own reads (records()) take no lock: the owner is the only writer.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

#include "index/index_image.h"
#include "index/time_url_container.h"

namespace qoinfo {

class RecordSnapshot;

class SharedRecordMap : public std::enable_shared_from_this<SharedRecordMap> {
 public:
  using RecordMap = std::map<std::int64_t, CTimeURLContainer>;

  SharedRecordMap() = default;
  explicit SharedRecordMap(RecordMap records) : m_records(std::move(records)) {}
  // Records over `image`, of which those in `removed` are out (for every
  // snapshot).
  SharedRecordMap(RecordMap records, std::shared_ptr<const IndexImage> image,
                  const std::unordered_map<std::int64_t, std::uint64_t>& removed);
  SharedRecordMap(const SharedRecordMap&) = delete;
  SharedRecordMap& operator=(const SharedRecordMap&) = delete;

  const RecordMap& records() const { return m_records; }

  // Stores `record` under `id` unless `id` is present; the stored entry and
  // whether it was inserted, as std::map::emplace.
  std::pair<RecordMap::iterator, bool> Insert(std::int64_t id,
                                              CTimeURLContainer record);
  // Erases the entry at `at`.
  void Erase(RecordMap::iterator at);
  RecordMap::iterator Find(std::int64_t id) { return m_records.find(id); }

  const std::shared_ptr<const IndexImage>& image() const { return m_image; }
  // The position of the image's record of `id` unless it was taken out, or
  // npos.
  std::size_t ImageRecordAt(std::int64_t id) const;
  // Takes the image record of `id` (ImageRecordAt found it) out.
  void RemoveImageRecord(std::int64_t id);
  // The image's records taken out, with the change count of their removal.
  const std::unordered_map<std::int64_t, std::uint64_t>& image_removed() const {
    return m_imageRemoved;
  }
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  // The records as they are now, for as long as the snapshot lives.
  std::shared_ptr<const RecordSnapshot> Snapshot();

 private:
  friend class RecordSnapshot;
  struct Removed {
    CTimeURLContainer record;
    std::uint64_t added;
    std::uint64_t removed;
  };

  // The record `id` held at change count `version`, or null. The caller
  // holds m_mutex.
  const CTimeURLContainer* FindAt(std::int64_t id,
                                  std::uint64_t version) const;
  // The position of the image record `id` at change count `version`, or
  // npos. The caller holds m_mutex.
  std::size_t ImageAt(std::int64_t id, std::uint64_t version) const;
  void Close(std::uint64_t version);
  // The change count a record added before any open snapshot counts as.
  std::uint64_t AddedAt(std::int64_t id) const;

  RecordMap m_records;
  std::shared_ptr<const IndexImage> m_image;
  // The image's records taken out: identifier -> change count of removal.
  std::unordered_map<std::int64_t, std::uint64_t> m_imageRemoved;
  mutable std::mutex m_mutex;
  std::uint64_t m_changes = 0;
  // The change counts of the open snapshots.
  std::multiset<std::uint64_t> m_open;
  // While snapshots are open: when the records added since were added, and
  // the records removed since, by identifier.
  std::unordered_map<std::int64_t, std::uint64_t> m_addedAt;
  std::multimap<std::int64_t, Removed> m_removed;
};

// RecordSnapshot: the records of a SharedRecordMap as they were when it was
// taken. Keeps the map alive; may outlive the index that made it.
class RecordSnapshot {
 public:
  RecordSnapshot(std::shared_ptr<SharedRecordMap> map, std::uint64_t version,
                 bool empty)
      : m_map(std::move(map)), m_version(version), m_empty(empty) {}
  ~RecordSnapshot() { m_map->Close(m_version); }
  RecordSnapshot(const RecordSnapshot&) = delete;
  RecordSnapshot& operator=(const RecordSnapshot&) = delete;

  // Calls `use` with the record of page `id` (under the map's lock, so `use`
  // must not call back into the map); false when there was none.
  template <typename Use>
  bool Visit(std::int64_t id, Use&& use) const {
    std::lock_guard<std::mutex> lock(m_map->m_mutex);
    const CTimeURLContainer* record = m_map->FindAt(id, m_version);
    if (record != nullptr) {
      use(*record);
      return true;
    }
    const std::size_t at = m_map->ImageAt(id, m_version);
    if (at == SharedRecordMap::npos) return false;
    const CTimeURLContainer copy(m_map->m_image->RecordAt(at));
    use(copy);
    return true;
  }
  // Whether the map held no record at all.
  bool empty() const { return m_empty; }

 private:
  std::shared_ptr<SharedRecordMap> m_map;
  std::uint64_t m_version;
  bool m_empty;
};

}  // namespace qoinfo
