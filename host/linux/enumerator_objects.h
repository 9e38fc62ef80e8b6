// EnumeratorObjects: the result enumerators of the agent's searches on
// D-Bus, one object each at /QoInfoAgent/SearchDataEnumerator/<n> with
// interface QoInfoAgent.ISearchDataEnumerator. An object answers only the
// connection that made the search (others get AccessDenied) while that
// connection is on the bus. When it leaves, the object waits a grace period
// and then goes; within it, the first connection of the server's own user
// that calls takes it over, so that a command-line client whose connection
// ends after each call (busctl, gdbus) can still walk its results. It also
// goes with Release().
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
#include <sdbus-c++/IProxy.h>

#include "com/interfaces.h"
#include "host/linux/bus_loop.h"
#include "platform/com_ptr.h"

namespace qoinfo::bus {

class EnumeratorObjects {
 public:
  static constexpr std::chrono::milliseconds kOwnerGoneGrace{10000};
  // Enumerators one connection may hold at once: a client that never
  // releases them cannot make the server grow without end.
  static constexpr std::size_t kMaxPerOwner = 1024;
  // A NextBatch answer stops growing past this many bytes of text: with
  // its last hit (at most three strings of kMaxHitStringBytes) it stays
  // below the bus's 64 MiB limit for one array. It holds one hit at least,
  // so that only the end gives an empty batch.
  static constexpr std::size_t kMaxBatchBytes = 8u << 20;

  EnumeratorObjects(sdbus::IConnection& connection, BusLoop& loop,
                    std::chrono::milliseconds grace = kOwnerGoneGrace);
  ~EnumeratorObjects();
  EnumeratorObjects(const EnumeratorObjects&) = delete;
  EnumeratorObjects& operator=(const EnumeratorObjects&) = delete;

  // Exports `hits` for `owner` (a unique bus name); its object path.
  std::string Add(platform::ComPtr<ISearchDataEnumerator> hits,
                  const std::string& owner);
  // Whether `owner` holds kMaxPerOwner enumerators already.
  bool AtLimit(const std::string& owner) const;
  // Drops every object (the server is ending).
  void Clear();

 private:
  struct Entry {
    std::string owner;
    std::uint64_t graceTimer = 0;  // set while the owner is gone
    platform::ComPtr<ISearchDataEnumerator> hits;
    std::unique_ptr<sdbus::IObject> object;
  };

  // The enumerator `number`, after checking that the caller owns it.
  ISearchDataEnumerator& Owned(std::uint64_t number);
  // Removes `number` from the loop, after the call being handled.
  void RemoveLater(std::uint64_t number);
  void OnNameOwnerChanged(sdbus::Message& message);
  // Whether `name` is a connection of the server's own user.
  bool IsOwnUser(const std::string& name);

  sdbus::IConnection& m_connection;
  BusLoop& m_loop;
  const std::chrono::milliseconds m_grace;
  std::uint64_t m_lastNumber = 0;
  std::map<std::uint64_t, Entry> m_entries;
  sdbus::Slot m_ownerWatch;
  std::unique_ptr<sdbus::IProxy> m_bus;
};

}  // namespace qoinfo::bus
