// CTimeURLContainer: one stored page record (visit time, URL, path, title).
// A plain value: copyable, owns its strings, no locking. The time is opaque:
// it is stored, handed back and compared for equality, never interpreted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "index/stream_serializable.h"

namespace qoinfo {

// One page record whose strings are viewed where they are (in a
// CTimeURLContainer, or in the mapped index image).
struct RecordView {
  std::int64_t time = 0;
  std::u16string_view url;
  std::u16string_view path;
  std::u16string_view title;
};

class CTimeURLContainer : public CIStreamSerializable {
 public:
  CTimeURLContainer() = default;
  CTimeURLContainer(const CTimeURLContainer&) = default;
  CTimeURLContainer& operator=(const CTimeURLContainer&) = default;
  CTimeURLContainer(CTimeURLContainer&&) = default;
  CTimeURLContainer& operator=(CTimeURLContainer&&) = default;
  virtual ~CTimeURLContainer() = default;
  CTimeURLContainer(std::int64_t time, std::u16string url, std::u16string path,
                    std::u16string title)
      : m_time(time),
        m_url(std::move(url)),
        m_path(std::move(path)),
        m_title(std::move(title)) {}

  // The identity of a visit: equal time and exactly equal URL (case-sensitive).
  bool SameVisitAs(const CTimeURLContainer& other) const {
    return m_time == other.m_time && m_url == other.m_url;
  }
  bool operator==(const CTimeURLContainer& other) const {
    return m_time == other.m_time && m_url == other.m_url &&
           m_path == other.m_path && m_title == other.m_title;
  }

  explicit CTimeURLContainer(const RecordView& view)
      : m_time(view.time), m_url(view.url), m_path(view.path),
        m_title(view.title) {}
  RecordView View() const { return {m_time, m_url, m_path, m_title}; }

  // Time, then URL, path and title as counted strings.
  HRESULT Serialize(IStream* stream, bool bLoad,
                    StreamProblem* problem = nullptr) override;
  void Write(StreamWriter& writer) const { Write(writer, View()); }
  static void Write(StreamWriter& writer, const RecordView& record);
  // Replaces the fields with the next record of `reader`; false when the
  // record is incomplete (the fields are then unspecified).
  bool Read(StreamReader& reader);

  std::int64_t m_time = 0;
  std::u16string m_url;
  std::u16string m_path;
  std::u16string m_title;
};

}  // namespace qoinfo
