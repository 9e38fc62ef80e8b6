#include "host/linux/enumerator_objects.h"

#include <unistd.h>

#include <vector>

#include "host/linux/bus_errors.h"
#include "host/linux/bus_names.h"
#include "host/linux/bus_records.h"

namespace qoinfo::bus {
namespace {

// The bus refuses an array of more than 64 MiB by dropping the connection
// that sent it: a full batch and its last, largest hit stay below.
static_assert(EnumeratorObjects::kMaxBatchBytes + 3 * kMaxHitStringBytes +
                      (1u << 20) <
                  (64u << 20),
              "a NextBatch answer could pass the bus's array limit");

// The error of a failed enumerator call.
[[noreturn]] void Fail(HRESULT hr) {
  throw ErrorFromHResult(kAgentErrorPrefix, hr);
}

}  // namespace

EnumeratorObjects::EnumeratorObjects(sdbus::IConnection& connection,
                                     BusLoop& loop,
                                     std::chrono::milliseconds grace)
    : m_connection(connection), m_loop(loop), m_grace(grace) {
  // Watching every departure from the start: the departure of a client
  // always arrives after its last call, so none is missed.
  m_ownerWatch = m_connection.addMatch(
      "type='signal',sender='org.freedesktop.DBus',"
      "interface='org.freedesktop.DBus',member='NameOwnerChanged'",
      [this](sdbus::Message& message) { OnNameOwnerChanged(message); });
}

EnumeratorObjects::~EnumeratorObjects() { Clear(); }

void EnumeratorObjects::Clear() {
  std::map<std::uint64_t, Entry> entries;
  entries.swap(m_entries);
  entries.clear();
}

ISearchDataEnumerator& EnumeratorObjects::Owned(std::uint64_t number) {
  const auto found = m_entries.find(number);
  if (found == m_entries.end()) Fail(E_UNEXPECTED);
  Entry& entry = found->second;
  const sdbus::Message* call = entry.object->getCurrentlyProcessedMessage();
  const std::string caller = call != nullptr ? call->getSender() : "";
  if (caller != entry.owner) {
    if (entry.graceTimer == 0 || !IsOwnUser(caller)) {
      throw sdbus::Error(kAccessDeniedError,
                         "this enumerator belongs to another connection");
    }
    m_loop.Cancel(entry.graceTimer);
    entry.graceTimer = 0;
    entry.owner = caller;
  }
  return *entry.hits.get();
}

bool EnumeratorObjects::IsOwnUser(const std::string& name) {
  if (!m_bus) {
    m_bus = sdbus::createProxy(m_connection, "org.freedesktop.DBus",
                               "/org/freedesktop/DBus");
    m_bus->finishRegistration();
  }
  std::uint32_t uid = 0;
  m_bus->callMethod("GetConnectionUnixUser")
      .onInterface("org.freedesktop.DBus")
      .withArguments(name)
      .storeResultsTo(uid);
  return uid == getuid();
}

void EnumeratorObjects::RemoveLater(std::uint64_t number) {
  m_loop.Post([this, number] { m_entries.erase(number); });
}

bool EnumeratorObjects::AtLimit(const std::string& owner) const {
  std::size_t held = 0;
  for (const auto& [number, entry] : m_entries) {
    if (entry.owner == owner && ++held >= kMaxPerOwner) return true;
  }
  return false;
}

std::string EnumeratorObjects::Add(platform::ComPtr<ISearchDataEnumerator> hits,
                                   const std::string& owner) {
  const std::uint64_t number = ++m_lastNumber;
  const std::string path = kEnumeratorPathPrefix + std::to_string(number);
  auto object = sdbus::createObject(m_connection, path);
  const char* const iface = kEnumeratorInterface;
  object->registerMethod("Next")
      .onInterface(iface)
      .withOutputParamNames("hr", "data")
      .implementedAs([this, number]() -> std::tuple<std::int32_t, HitRecord> {
        return Guarded(kAgentErrorPrefix, [&] {
          _URL_DATE_IA_S hit{};
          const HRESULT hr = Owned(number).Next(&hit);
          if (FAILED(hr)) Fail(hr);
          if (hr != S_OK) return std::make_tuple(std::int32_t{hr}, HitRecord(0, "", "", "", 0));
          const platform::UniqueBstr url(hit.Url), path(hit.Path),
              title(hit.Title);
          return std::make_tuple(std::int32_t{hr}, RecordFromHit(hit));
        });
      });
  object->registerMethod("NextBatch")
      .onInterface(iface)
      .withInputParamNames("max")
      .withOutputParamNames("data")
      .implementedAs([this, number](std::uint32_t max) {
        return Guarded(kAgentErrorPrefix, [&] {
          ISearchDataEnumerator& enumerator = Owned(number);
          std::vector<HitRecord> batch;
          std::size_t bytes = 0;
          while (batch.size() < max && bytes < kMaxBatchBytes) {
            _URL_DATE_IA_S hit{};
            const HRESULT hr = enumerator.Next(&hit);
            if (FAILED(hr)) Fail(hr);
            if (hr != S_OK) break;
            const platform::UniqueBstr url(hit.Url), path(hit.Path),
                title(hit.Title);
            batch.push_back(RecordFromHit(hit));
            const HitRecord& added = batch.back();
            bytes += std::get<1>(added).size() + std::get<2>(added).size() +
                     std::get<3>(added).size() + 32;
          }
          return batch;
        });
      });
  object->registerMethod("Reset").onInterface(iface).implementedAs(
      [this, number]() {
        return Guarded(kAgentErrorPrefix, [&] {
          const HRESULT hr = Owned(number).Reset();
          if (FAILED(hr)) Fail(hr);
        });
      });
  object->registerMethod("Count").onInterface(iface).implementedAs(
      [this, number]() {
        return Guarded(kAgentErrorPrefix, [&] {
          const HRESULT hr = Owned(number).Count();
          if (FAILED(hr)) Fail(hr);
        });
      });
  object->registerMethod("GetThis")
      .onInterface(iface)
      .withOutputParamNames("this")
      .implementedAs([this, number]() -> std::int64_t {
        return Guarded(kAgentErrorPrefix, [&] {
          std::int64_t self = 0;
          const HRESULT hr = Owned(number).GetThis(&self);
          if (FAILED(hr)) Fail(hr);
          return self;
        });
      });
  object->registerMethod("Release").onInterface(iface).implementedAs(
      [this, number]() {
        return Guarded(kAgentErrorPrefix, [&] {
          Owned(number);
          RemoveLater(number);
        });
      });
  object->finishRegistration();
  m_entries.emplace(number,
                    Entry{owner, 0, std::move(hits), std::move(object)});
  return path;
}

void EnumeratorObjects::OnNameOwnerChanged(sdbus::Message& message) {
  std::string name, old_owner, new_owner;
  message >> name >> old_owner >> new_owner;
  if (!new_owner.empty()) return;
  for (auto& [number, entry] : m_entries) {
    if (entry.owner != name || entry.graceTimer != 0) continue;
    const std::uint64_t gone = number;
    entry.graceTimer =
        m_loop.After(m_grace, [this, gone] { m_entries.erase(gone); });
  }
}

}  // namespace qoinfo::bus
