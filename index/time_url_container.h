// CTimeURLContainer: one stored page record (visit time, URL, path, title).
// A plain value: copyable, owns its strings, no locking. The time is opaque:
// it is stored, handed back and compared for equality, never interpreted.
#pragma once

#include <cstdint>
#include <string>

namespace qoinfo {

class CTimeURLContainer {
 public:
  CTimeURLContainer() = default;
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
  bool operator==(const CTimeURLContainer&) const = default;

  std::int64_t m_time = 0;
  std::u16string m_url;
  std::u16string m_path;
  std::u16string m_title;
};

}  // namespace qoinfo
