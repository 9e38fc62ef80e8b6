// The receiving side of the agent's event subscriptions. An object that
// receives events derives from __ComEventingImpl: it keeps one subscription
// record (__ComEventingNode) per subscribed source, each with its own event
// sink, and answers the sinks through one dispatch entry,
// __eventHandlerProxy, with a handler number and the event's argument.
//
// Only IBromURLBaseEvents is subscribed to. Handler tables hold one number
// per event of the interface (positions 0-2 for DISPIDs 1-3); -1 means not
// bound, and the dispatch answers S_FALSE for it.
//
// Single-threaded: used on the agent's apartment thread only.
#pragma once

#include <cstdint>

#include "com/interfaces.h"
#include "platform/com_base.h"

namespace qoinfo {

class __Impl_BromHelper_IBromURLBaseEvents;

// Positions of the events of IBromURLBaseEvents in a handler table.
enum URLBaseEventPosition : std::uint32_t {
  kOnDataAddedPosition = 0,
  kOnDataBeforeRemovePosition = 1,
  kOnSettingsChangedPosition = 2,
};
inline constexpr std::uint32_t kURLBaseEventCount = 3;
inline constexpr std::int32_t kUnboundHandler = -1;

// Where event sinks deliver: handler number and the event's argument (0 for
// an event without one). A sink holds a reference on the receiver for the
// length of each delivery: a handler that calls out can see the receiver's
// other holders let go meanwhile.
class __EventHandlerProxy {
 public:
  virtual HRESULT __eventHandlerProxy(std::int32_t handler, ULONG argument) = 0;
  virtual void AddReceiverReference() = 0;
  virtual void ReleaseReceiverReference() = 0;

 protected:
  ~__EventHandlerProxy() = default;
};

// One subscription: a source object, the sink advised at its connection
// point, and which handler each event is bound to. Owns one reference on its
// sink for its whole life and one on the source from creation until it is
// unadvised.
class __ComEventingNode {
 public:
  __ComEventingNode(__EventHandlerProxy* receiver, IUnknown* source);
  virtual ~__ComEventingNode();
  __ComEventingNode(const __ComEventingNode&) = delete;
  __ComEventingNode& operator=(const __ComEventingNode&) = delete;

  // The handler number stored at `position`; kUnboundHandler for a position
  // outside the table.
  virtual std::int32_t HandlerAt(std::uint32_t position) const;

  __EventHandlerProxy* const m_receiver;
  std::int32_t m_handlers[kURLBaseEventCount] = {
      kUnboundHandler, kUnboundHandler, kUnboundHandler};
  const std::uint32_t m_eventCount = kURLBaseEventCount;
  std::int32_t m_boundCount = 0;
  DWORD m_cookie = 0;
  // The source as subscribed (identifies the record); the reference is
  // dropped on unadvise, the pointer stays for matching.
  IUnknown* const m_sourceKey;
  IUnknown* m_source = nullptr;
  __Impl_BromHelper_IBromURLBaseEvents* m_sink = nullptr;
  const IID* const m_eventInterface = &IID_IBromURLBaseEvents;
  __ComEventingNode* m_next = nullptr;
};

class __ComEventingImpl : public __EventHandlerProxy {
 public:
  __ComEventingImpl() = default;
  __ComEventingImpl(const __ComEventingImpl&) = delete;
  __ComEventingImpl& operator=(const __ComEventingImpl&) = delete;

 protected:
  // Frees every record: each releases its sink and, if it still holds one,
  // its source. Nothing is unadvised here.
  ~__ComEventingImpl();

  // Binds `handler` at `position` in a subscription to `source`, making and
  // advising one when needed. S_OK, E_FAIL for a null source, E_OUTOFMEMORY,
  // or the result of advising.
  HRESULT HookEvent(IUnknown* source, std::uint32_t position,
                    std::int32_t handler);
  // Unbinds `position` in the first subscription to `source` that has it
  // bound, unadvising when nothing stays bound. S_OK, the unadvise failure,
  // or E_FAIL when no subscription has it bound.
  HRESULT UnhookEvent(IUnknown* source, std::uint32_t position);

 private:
  // The first record for `source` at or after `from`.
  __ComEventingNode* FindSubscription(__ComEventingNode* from,
                                      IUnknown* source) const;
  // A new record with its sink, appended to the list; null when out of
  // memory.
  __ComEventingNode* AddSubscription(IUnknown* source);

  __ComEventingNode* m_first = nullptr;
};

}  // namespace qoinfo
