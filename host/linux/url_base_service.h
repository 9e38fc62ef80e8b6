// URLBaseService: our history component (CBromURLBase) served on D-Bus as
// BromHelper.URLBase at /BromHelper/URLBase, interface
// BromHelper.IBromURLBase, and its page texts as BromHelper.IBromPageTexts
// on the same object (docs/dbus.md).
//
// Two threads: the bus loop's thread receives each call and answers it
// later (sdbus-c++ asynchronous methods); the history object lives on the
// apartment thread, where every call runs. Events go to each advised sink
// as an asynchronous call made from the bus loop while the apartment waits
// for its answer and keeps serving, so that a sink's own call back
// (GetData while a visit is being removed) is answered and nothing
// deadlocks. The waits are bounded (kSinkWaitLimit, kCallWaitLimit), so
// that a sink that never answers costs no client its answer; a sink that
// answers a removal late can still read the dropped visit (LateRemovals).
// A sink whose connection leaves the bus is unadvised.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include <sdbus-c++/IConnection.h>
#include <sdbus-c++/IObject.h>

#include "host/linux/apartment.h"
#include "host/linux/bus_loop.h"
#include "host/linux/late_removals.h"
#include "platform/com_ptr.h"
#include "urlbase/url_base.h"

namespace qoinfo::bus {

class URLBaseService {
 public:
  // The longest the history waits for one sink's answer to an event, and
  // for the sinks of one call (and the calls served meanwhile) together:
  // well below the 25 s a client waits for an answer by default.
  static constexpr std::chrono::milliseconds kSinkWaitLimit{5000};
  static constexpr std::chrono::milliseconds kCallWaitLimit{15000};

  URLBaseService(sdbus::IConnection& connection, BusLoop& loop,
                 Apartment& apartment);
  ~URLBaseService();
  URLBaseService(const URLBaseService&) = delete;
  URLBaseService& operator=(const URLBaseService&) = delete;

  // Apartment thread: opens the history in the user's data directory (its
  // failure is kept and answered to every call) and, last, drops it.
  void OpenHistory();
  void CloseHistory();
  // Bus thread: exports the object (before the name is requested).
  void Export();
  // Bus thread: whether every call received has been answered.
  bool Settled() const { return m_callsInFlight == 0; }

 private:
  template <typename... Results, typename Work>
  void Serve(sdbus::Result<Results...>&& result, Work work);
  // Bus thread, within Export: the methods of BromHelper.IBromPageTexts.
  void ExportPageTexts(sdbus::IObject& object);
  void OnNameOwnerChanged(sdbus::Message& message);

  sdbus::IConnection& m_connection;
  BusLoop& m_loop;
  Apartment& m_apartment;
  std::unique_ptr<sdbus::IObject> m_object;
  std::size_t m_callsInFlight = 0;  // bus thread
  // Apartment thread only.
  platform::ComPtr<IBromURLBase> m_history;
  HRESULT m_openResult = E_UNEXPECTED;
  // Cookie -> the unique name of the sink's connection; apartment thread.
  std::map<DWORD, std::string> m_sinkOwners;
  // Visits dropped while a sink had not yet answered their removal; shared
  // with the answers on their way. Apartment thread.
  const std::shared_ptr<LateRemovals> m_lateRemovals =
      std::make_shared<LateRemovals>();
  // Until when the call being served may wait for sinks; max when none
  // is. Apartment thread.
  Apartment::Clock::time_point m_callDeadline =
      Apartment::Clock::time_point::max();
};

}  // namespace qoinfo::bus
