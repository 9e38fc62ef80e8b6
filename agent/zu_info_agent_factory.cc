#include "agent/zu_info_agent_factory.h"

#include <new>

#include "agent/zu_info_agent.h"
#include "com/module_lock.h"
#include "platform/com_ptr.h"
#include "platform/interface_table.h"

namespace qoinfo {
namespace {

const platform::InterfaceEntry<CZuInfoAgentFactory> kInterfaces[] = {
    {&IID_IClassFactory,
     [](CZuInfoAgentFactory* factory) -> IUnknown* {
       return static_cast<IClassFactory*>(factory);
     }},
};

}  // namespace

CZuInfoAgentFactory* CZuInfoAgentFactory::New() {
  return new (std::nothrow) CZuInfoAgentFactory();
}

CZuInfoAgentFactory::~CZuInfoAgentFactory() { ReleaseInstance(); }

HRESULT CZuInfoAgentFactory::QueryInterface(REFIID riid, void** object) {
  return platform::QueryInterfaceFromTable(this, kInterfaces, riid, object);
}

ULONG CZuInfoAgentFactory::AddRef() { return ++m_refCount; }

ULONG CZuInfoAgentFactory::Release() {
  const ULONG count = --m_refCount;
  if (count == 0) delete this;
  return count;
}

HRESULT CZuInfoAgentFactory::LockServer(BOOL lock) {
  ChangeServerLock(lock != 0);
  return S_OK;
}

HRESULT CZuInfoAgentFactory::CreateInstance(IUnknown* outer, REFIID riid,
                                            void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (!m_attempted.load(std::memory_order_acquire)) {
    std::lock_guard<std::recursive_mutex> lock(m_creation);
    // Only this thread can be inside the lock already: the agent is still
    // starting, and a second one must not be made.
    if (m_creating) return E_PENDING;
    if (!m_attempted.load(std::memory_order_relaxed)) {
      // The module counts as busy while the agent is being made: start-up
      // may wait for the history longer than a quiet server's idle time.
      ModuleLockHolder busy;
      m_creating = true;
      m_creationResult = CreateAgent();
      m_creating = false;
      m_attempted.store(true, std::memory_order_release);
    }
  }
  if (m_creationResult != S_OK) return m_creationResult;
  if (m_instance == nullptr) return CO_E_SERVER_STOPPING;
  return m_instance->QueryInterface(riid, object);
}

HRESULT CZuInfoAgentFactory::CreateAgent() {
  CZuInfoAgent* agent = CZuInfoAgent::New();
  if (agent == nullptr) return E_OUTOFMEMORY;
  // Start-up runs with the count held at 1; a failure destroys the agent at
  // once, which runs its shutdown.
  agent->AddRef();
  HRESULT hr = agent->Startup();
  if (SUCCEEDED(hr)) {
    hr = agent->QueryInterface(IID_IUnknown,
                               reinterpret_cast<void**>(&m_instance));
  }
  agent->Release();
  return hr;
}

void CZuInfoAgentFactory::ReleaseInstance() {
  IUnknown* instance = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(m_creation);
    m_attempted.store(true, std::memory_order_release);
    instance = m_instance;
    m_instance = nullptr;
  }
  if (instance != nullptr) instance->Release();
}

HRESULT CZuInfoAgentFactory::EndInstanceNow() {
  platform::ComPtr<IUnknown> instance(Instance());
  const HRESULT saved =
      instance.get() != nullptr
          ? static_cast<CZuInfoAgent*>(
                static_cast<IZuInfoAgent*>(instance.get()))->SaveNow()
          : S_FALSE;
  ReleaseInstance();
  return saved;
}

IUnknown* CZuInfoAgentFactory::Instance() {
  std::lock_guard<std::recursive_mutex> lock(m_creation);
  if (m_instance != nullptr) m_instance->AddRef();
  return m_instance;
}

}  // namespace qoinfo
