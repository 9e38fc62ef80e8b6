// LateRemovals: visits on their way out of the history whose sinks did not
// answer OnDataBeforeRemove within the history's wait. The history drops
// such a visit without them; a sink that was only busy (an agent saving or
// loading a large index) handles the event later, and its GetData must
// still find the visit, or the page would stay in its index. Each visit is
// held in memory only, from the moment the wait gave up until every late
// sink's call ended (answered, failed, or past its timeout,
// kLateEventTimeout).
//
// Apartment thread only.
#pragma once

#include <chrono>
#include <map>

#include "host/linux/bus_records.h"
#include "platform/com_base.h"
#include "urlbase/url_base.h"

namespace qoinfo::bus {

class LateRemovals {
 public:
  // How long an event call to a sink may take before it ends with no
  // answer, and so how long a late sink can still read its visit.
  static constexpr std::chrono::seconds kLateEventTimeout{120};

  // Holds the visit at `index` of `history` for one more late sink (the
  // visit must still be stored; nothing is held when it is not).
  void Hold(IBromURLBase* history, ULONG index);
  // One late sink's call for `index` ended.
  void Release(ULONG index);
  // The held visit at `index`: false when none is held.
  bool Find(ULONG index, HitRecord* record) const;

 private:
  struct Held {
    HitRecord record;
    int sinks = 0;
  };
  std::map<ULONG, Held> m_held;
};

}  // namespace qoinfo::bus
