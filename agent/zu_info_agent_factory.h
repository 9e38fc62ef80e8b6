// CZuInfoAgentFactory: the class object of CZuInfoAgent, a singleton
// factory. The first CreateInstance builds the one agent and runs its
// start-up; every later one hands out that same agent. The result of that
// first creation is kept: after a failure every request returns the same
// failure at once, without a new attempt and without another message.
//
// A COM object with an atomic count; it holds one reference on the agent
// until ReleaseInstance (the server withdrawing its class objects) or its
// own destruction. The creation lock serialises the first creation only. It
// is re-entrant, as a critical section is: start-up calls out to the history,
// and in a server's apartment a second request can arrive on the same thread
// while it waits; that request gets E_PENDING instead of a second agent.
// The first creation holds a module lock throughout: a history slow to start
// must not let an idle server decide to end under the agent it is making.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/class_objects.h"
#include "platform/com_base.h"

namespace qoinfo {

class CZuInfoAgentFactory final : public IClassFactory {
 public:
  // A new factory with one reference for the caller; null when out of
  // memory.
  static CZuInfoAgentFactory* New();

  // IUnknown: IUnknown and IClassFactory.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IClassFactory. E_POINTER for a null out pointer, CLASS_E_NOAGGREGATION
  // for an outer object (also after the agent exists), E_PENDING for a
  // request made on the creating thread while the first creation runs,
  // else the stored creation result or the agent's answer for `riid`.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                           void** object) override;
  // Takes or gives back a lock on the module.
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  // Drops the factory's reference on the agent: the agent is destroyed
  // (its shutdown saves the index) now, or when its last client lets go.
  // Later requests fail with CO_E_SERVER_STOPPING: the server is ending
  // and no new agent is made.
  void ReleaseInstance();

  // The agent, with a reference for the caller; null before it exists or
  // after ReleaseInstance. For a host that must end it at once.
  IUnknown* Instance();

  // For a process about to be ended from outside (the end of the session):
  // the agent saves its index now, without calling out, and the factory
  // lets it go as ReleaseInstance does. A handler of the agent that waits
  // in a call out may still hold it; it ends when that handler returns (and
  // saves again what the handler changed). The save's result (S_FALSE when
  // there was nothing to save or no agent).
  HRESULT EndInstanceNow();

 private:
  CZuInfoAgentFactory() = default;
  ~CZuInfoAgentFactory();

  HRESULT CreateAgent();

  std::atomic<ULONG> m_refCount{1};
  std::recursive_mutex m_creation;
  bool m_creating = false;  // guarded by m_creation
  std::atomic<bool> m_attempted{false};
  HRESULT m_creationResult = S_OK;
  IUnknown* m_instance = nullptr;
};

}  // namespace qoinfo
