// __Impl_BromHelper_IBromURLBaseEvents: the sink the agent advises at the
// URL base object's connection point. Each event method looks up its handler
// number in the subscription record and passes it, with the event's
// argument, to the receiver's dispatch entry; it returns what that returns.
//
// Owned by its subscription record (one reference) and by the source while
// advised; while it delivers an event it holds itself and the receiver, so
// that neither goes while the handler waits in a call out. Holds one module
// lock for its life. Single-threaded: the count is changed with plain
// increments. When its record goes, Detach cuts it off, and events that
// still arrive are answered S_FALSE.
#pragma once

#include "agent/event_subscriptions.h"
#include "com/interfaces.h"
#include "com/module_lock.h"
#include "platform/com_base.h"

namespace qoinfo {

class __Impl_BromHelper_IBromURLBaseEvents final : public IBromURLBaseEvents {
 public:
  // Dispatch numbers of the events, and of the one parameter name.
  static constexpr DISPID kIndexParameter = 0;
  static constexpr DISPID kOnDataAddedId = 1;
  static constexpr DISPID kOnDataBeforeRemoveId = 2;
  static constexpr DISPID kOnSettingsChangedId = 3;

  // A sink with a count of 0, delivering to `receiver` by the table of
  // `subscription`.
  __Impl_BromHelper_IBromURLBaseEvents(__EventHandlerProxy* receiver,
                                       __ComEventingNode* subscription);
  // Stops delivering: later events answer S_FALSE.
  void Detach();

  // IUnknown: IUnknown, IBromURLBaseEvents, IDispatch.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch. GetIDsOfNames knows "index", "OnDataAdded",
  // "OnDataBeforeRemove" and "OnSettingsChanged" in any letter case. The
  // others differ per platform: from the module's type library on Windows,
  // refused where there is none.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale,
                                        ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names,
                                          UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale,
                                   WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;

  // IBromURLBaseEvents.
  HRESULT STDMETHODCALLTYPE OnDataAdded(ULONG index) override;
  HRESULT STDMETHODCALLTYPE OnDataBeforeRemove(ULONG index) override;
  HRESULT STDMETHODCALLTYPE OnSettingsChanged() override;

 private:
  ~__Impl_BromHelper_IBromURLBaseEvents() = default;

  HRESULT Deliver(std::uint32_t position, ULONG argument);

  // Declared first, so that the lock is released last.
  ModuleLockHolder m_moduleLock;
  LONG m_refCount = 0;
  __EventHandlerProxy* m_receiver;
  __ComEventingNode* m_subscription;
};

}  // namespace qoinfo
