// EnumeratorObjects: the result enumerators of the agent's searches on
// D-Bus, one object each at /QoInfoAgent/SearchDataEnumerator/<n> with
// interface QoInfoAgent.ISearchDataEnumerator. An object answers only the
// connection that made the search (others get AccessDenied); it goes with
// Release(), or a grace period after its owner's connection left the bus,
// so that a command-line client whose connection ends after each call can
// still walk its results.
//
// Each object holds its CSearchDataEnumerator, and through it one module
// lock. Bus thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <sdbus-c++/IConnection.h>
#include <sdbus-c++/IObject.h>

#include "host/idl/interfaces.h"
#include "host/linux/bus_loop.h"
#include "platform/com_ptr.h"

namespace qoinfo::bus {

class EnumeratorObjects {
 public:
  static constexpr std::chrono::milliseconds kOwnerGoneGrace{10000};

  EnumeratorObjects(sdbus::IConnection& connection, BusLoop& loop,
                    std::chrono::milliseconds grace = kOwnerGoneGrace);
  ~EnumeratorObjects();
  EnumeratorObjects(const EnumeratorObjects&) = delete;
  EnumeratorObjects& operator=(const EnumeratorObjects&) = delete;

  // Exports `hits` for `owner` (a unique bus name); its object path.
  std::string Add(platform::ComPtr<ISearchDataEnumerator> hits,
                  const std::string& owner);
  // Drops every object (the server is ending).
  void Clear();

 private:
  struct Entry {
    std::string owner;
    platform::ComPtr<ISearchDataEnumerator> hits;
    std::unique_ptr<sdbus::IObject> object;
  };

  // The enumerator `number`, after checking that the caller owns it.
  ISearchDataEnumerator& Owned(std::uint64_t number);
  // Removes `number` from the loop, after the call being handled.
  void RemoveLater(std::uint64_t number);
  void OnNameOwnerChanged(sdbus::Message& message);

  sdbus::IConnection& m_connection;
  BusLoop& m_loop;
  const std::chrono::milliseconds m_grace;
  std::uint64_t m_lastNumber = 0;
  std::map<std::uint64_t, Entry> m_entries;
  sdbus::Slot m_ownerWatch;
};

}  // namespace qoinfo::bus
