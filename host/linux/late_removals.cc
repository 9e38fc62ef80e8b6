#include "host/linux/late_removals.h"

#include <utility>

namespace qoinfo::bus {

void LateRemovals::Hold(IBromURLBase* history, ULONG index) {
  auto found = m_held.find(index);
  if (found == m_held.end()) {
    HitRecord record;
    if (history == nullptr || FAILED(VisitRecordAt(history, index, &record))) {
      return;
    }
    found = m_held.emplace(index, Held{std::move(record), 0}).first;
  }
  ++found->second.sinks;
}

void LateRemovals::Release(ULONG index) {
  const auto found = m_held.find(index);
  if (found != m_held.end() && --found->second.sinks <= 0) m_held.erase(found);
}

bool LateRemovals::Find(ULONG index, HitRecord* record) const {
  const auto found = m_held.find(index);
  if (found == m_held.end()) return false;
  *record = found->second.record;
  return true;
}

}  // namespace qoinfo::bus
