#include "agent/url_base_event_sink.h"

#include "platform/interface_table.h"

namespace qoinfo {
namespace {

const platform::InterfaceEntry<__Impl_BromHelper_IBromURLBaseEvents>
    kInterfaces[] = {
        {&IID_IBromURLBaseEvents,
         [](__Impl_BromHelper_IBromURLBaseEvents* sink) -> IUnknown* {
           return static_cast<IBromURLBaseEvents*>(sink);
         }},
        {&IID_IDispatch,
         [](__Impl_BromHelper_IBromURLBaseEvents* sink) -> IUnknown* {
           return static_cast<IDispatch*>(sink);
         }},
};

// ASCII letters compared without regard to case; anything else exactly.
template <typename Char>
bool EqualIgnoringCase(const Char* name, const char* known) {
  auto lower = [](char32_t c) -> char32_t {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
  };
  for (; *known != '\0'; ++name, ++known) {
    if (*name == 0 || lower(static_cast<char32_t>(*name)) !=
                          lower(static_cast<char32_t>(*known))) {
      return false;
    }
  }
  return *name == 0;
}

struct KnownName {
  const char* name;
  DISPID id;
};
constexpr KnownName kKnownNames[] = {
    {"index", __Impl_BromHelper_IBromURLBaseEvents::kIndexParameter},
    {"OnDataAdded", __Impl_BromHelper_IBromURLBaseEvents::kOnDataAddedId},
    {"OnDataBeforeRemove",
     __Impl_BromHelper_IBromURLBaseEvents::kOnDataBeforeRemoveId},
    {"OnSettingsChanged",
     __Impl_BromHelper_IBromURLBaseEvents::kOnSettingsChangedId},
};

}  // namespace

__Impl_BromHelper_IBromURLBaseEvents::__Impl_BromHelper_IBromURLBaseEvents(
    __EventHandlerProxy* receiver, __ComEventingNode* subscription)
    : m_receiver(receiver), m_subscription(subscription) {}

void __Impl_BromHelper_IBromURLBaseEvents::Detach() {
  m_receiver = nullptr;
  m_subscription = nullptr;
}

HRESULT __Impl_BromHelper_IBromURLBaseEvents::QueryInterface(REFIID riid,
                                                             void** object) {
  return platform::QueryInterfaceFromTable(this, kInterfaces, riid, object);
}

ULONG __Impl_BromHelper_IBromURLBaseEvents::AddRef() {
  return static_cast<ULONG>(++m_refCount);
}

ULONG __Impl_BromHelper_IBromURLBaseEvents::Release() {
  const LONG count = --m_refCount;
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT __Impl_BromHelper_IBromURLBaseEvents::GetIDsOfNames(
    REFIID /*riid*/, LPOLESTR* names, UINT count, LCID /*locale*/,
    DISPID* ids) {
  if (count > 0 && (names == nullptr || ids == nullptr)) return E_POINTER;
  for (UINT i = 0; i < count; ++i) {
    const KnownName* match = nullptr;
    if (names[i] != nullptr) {
      for (const KnownName& known : kKnownNames) {
        if (EqualIgnoringCase(names[i], known.name)) {
          match = &known;
          break;
        }
      }
    }
    if (match == nullptr) return DISP_E_UNKNOWNNAME;
    ids[i] = match->id;
  }
  return S_OK;
}

HRESULT __Impl_BromHelper_IBromURLBaseEvents::OnDataAdded(ULONG index) {
  return Deliver(kOnDataAddedPosition, index);
}

HRESULT __Impl_BromHelper_IBromURLBaseEvents::OnDataBeforeRemove(ULONG index) {
  return Deliver(kOnDataBeforeRemovePosition, index);
}

HRESULT __Impl_BromHelper_IBromURLBaseEvents::OnSettingsChanged() {
  return Deliver(kOnSettingsChangedPosition, 0);
}

HRESULT __Impl_BromHelper_IBromURLBaseEvents::Deliver(std::uint32_t position,
                                                      ULONG argument) {
  if (m_receiver == nullptr || m_subscription == nullptr) return S_FALSE;
  // The handler may call out, and the receiver may be ended while it waits
  // (at the end of the session): its end then frees the record and lets go
  // of this sink, which both stay usable until the handler has returned.
  __EventHandlerProxy* const receiver = m_receiver;
  AddRef();
  receiver->AddReceiverReference();
  const HRESULT hr =
      receiver->__eventHandlerProxy(m_subscription->HandlerAt(position), argument);
  receiver->ReleaseReceiverReference();
  Release();
  return hr;
}

}  // namespace qoinfo
