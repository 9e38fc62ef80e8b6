#include "host/linux/late_removals.h"

#include "platform/wide_string.h"

namespace qoinfo::bus {

void LateRemovals::Hold(IBromURLBase* history, ULONG index) {
  auto found = m_held.find(index);
  if (found == m_held.end()) {
    _URL_DATE_IA_S visit{};
    if (history == nullptr || FAILED(history->GetData(&visit, index))) return;
    const platform::UniqueBstr url(visit.Url), path(visit.Path),
        title(visit.Title);
    found = m_held.emplace(index, Held{RecordFromVisit(visit), 0}).first;
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
