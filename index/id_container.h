// CIDContainer: the page records, keyed by page identifier (1 upward, never
// reused; 0 means "no page"), and the last identifier issued.
//
// The records live in a SharedRecordMap, so that a search can take a
// snapshot of them instead of copying its hits' records. Besides the ordered
// record map it keeps a hash index from visit (time and
// URL) to identifiers, so that AddRecord and FindRecord cost one lookup
// instead of a scan; both still answer the lowest identifier holding an equal
// visit, as a scan from the smallest identifier would. Not thread-safe: the
// owner serialises all calls.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>

#include "index/index_image.h"
#include "index/shared_record_map.h"
#include "index/stream_serializable.h"
#include "index/time_url_container.h"

namespace qoinfo {

class CIDContainer : public CIStreamSerializable {
 public:
  using RecordMap = SharedRecordMap::RecordMap;

  // The predicate that finds a stored record by visit: an entry matches when
  // its time and URL equal those of the record given at construction.
  class CTimeURLContainerComparer {
   public:
    explicit CTimeURLContainerComparer(const CTimeURLContainer& record)
        : m_record(record) {}
    virtual ~CTimeURLContainerComparer() = default;
    virtual bool operator()(
        const std::pair<const std::int64_t, CTimeURLContainer>& entry) const {
      return entry.second.SameVisitAs(m_record);
    }

   private:
    CTimeURLContainer m_record;
  };

  // The highest identifier the counter can issue.
  static constexpr std::int64_t kMaxId = INT64_MAX;

  CIDContainer() : m_shared(std::make_shared<SharedRecordMap>()) {}
  // Copies get records of their own, shared with no snapshot.
  CIDContainer(const CIDContainer& other);
  CIDContainer& operator=(const CIDContainer& other);
  virtual ~CIDContainer() = default;

  // The identifier of the stored record with the same visit; when there is
  // none, stores a copy under the next free identifier and returns it.
  // Returns 0 and stores nothing when the counter has reached kMaxId.
  std::int64_t AddRecord(const CTimeURLContainer& record);
  // The lowest identifier holding the same visit, or 0. Changes nothing.
  std::int64_t FindRecord(const CTimeURLContainer& record) const;
  // Erases the record under `id` (> 0); true when one was erased.
  bool RemoveRecord(std::int64_t id);
  // The records start over from `image` (null: none), whose last
  // identifier becomes the counter's: the records added and removed since
  // live in memory beside it, merged into everything read below.
  void AttachImage(std::shared_ptr<const IndexImage> image);
  const std::shared_ptr<const IndexImage>& image() const { return m_image; }

  // The record of `id`; false when there is none.
  bool GetRecord(std::int64_t id, CTimeURLContainer* record) const;
  // Each record in identifier order.
  void ForEachRecord(
      const std::function<void(std::int64_t, const RecordView&)>& use) const;
  std::size_t RecordCount() const;
  // A full copy of the records.
  RecordMap GetRecords() const;

  // The records as they are now, for as long as the snapshot lives; the
  // snapshot may outlive this container.
  std::shared_ptr<const RecordSnapshot> Snapshot() const {
    return m_shared->Snapshot();
  }
  std::int64_t lastId() const { return m_lastId; }

  // The last identifier, the number of records, then each identifier with
  // its record in identifier order. Reading replaces the last identifier and
  // adds the records read (of two under one identifier the first stays).
  HRESULT Serialize(IStream* stream, bool bLoad,
                    StreamProblem* problem = nullptr) override;
  void Write(StreamWriter& writer) const;
  void Read(StreamReader& reader);

  // Loading: places a record read from a file under its stored identifier
  // (an identifier already present keeps its record), and restores the
  // counter. Neither is used by AddRecord's callers.
  void InsertLoaded(std::int64_t id, CTimeURLContainer record);
  void SetLastId(std::int64_t lastId) { m_lastId = lastId; }

 private:
  static std::size_t HashVisit(const CTimeURLContainer& record);

  std::shared_ptr<const IndexImage> m_image;
  std::shared_ptr<SharedRecordMap> m_shared;
  std::int64_t m_lastId = 0;
  // Hash of (time, URL) -> identifiers whose record has that hash.
  std::unordered_multimap<std::size_t, std::int64_t> m_byVisit;
};

}  // namespace qoinfo
