#include "host/windows/agent_class_table_win.h"

#include "agent/zu_info_agent.h"
#include "enumerator/search_data_enumerator.h"
#include "com/interfaces.h"

namespace qoinfo::win {
namespace {

HRESULT RegisterClass(REFCLSID clsid, IClassFactory* factory, DWORD* cookie) {
  return CoRegisterClassObject(clsid, factory, CLSCTX_LOCAL_SERVER,
                               REGCLS_MULTIPLEUSE, cookie);
}

HRESULT Revoke(DWORD* cookie) {
  if (*cookie == 0) return S_OK;
  const HRESULT hr = CoRevokeClassObject(*cookie);
  *cookie = 0;
  return hr;
}

}  // namespace

HRESULT AgentClassTable::Register() {
  m_enumeratorClass = platform::ComPtr<CClassFactory>(
      CClassFactory::New(&CSearchDataEnumerator::CreateInstance));
  m_agentClass =
      platform::ComPtr<CZuInfoAgentFactory>(CZuInfoAgentFactory::New());
  if (m_enumeratorClass.get() == nullptr || m_agentClass.get() == nullptr) {
    return E_OUTOFMEMORY;
  }
  HRESULT hr = RegisterClass(CLSID_CSearchDataEnumerator,
                             m_enumeratorClass.get(), &m_enumeratorCookie);
  if (FAILED(hr)) return hr;
  return RegisterClass(CLSID_CZuInfoAgent, m_agentClass.get(), &m_agentCookie);
}

HRESULT AgentClassTable::Withdraw() {
  const HRESULT enumerator = Revoke(&m_enumeratorCookie);
  const HRESULT agent = Revoke(&m_agentCookie);
  if (m_agentClass.get() != nullptr) m_agentClass->ReleaseInstance();
  m_enumeratorClass.Reset();
  m_agentClass.Reset();
  return FAILED(enumerator) ? enumerator : agent;
}

HRESULT AgentClassTable::EndAgentNow() {
  if (m_agentClass.get() == nullptr) return S_FALSE;
  platform::ComPtr<IUnknown> agent(m_agentClass->Instance());
  const HRESULT saved = m_agentClass->EndInstanceNow();
  Withdraw();
  if (agent.get() != nullptr) CoDisconnectObject(agent.get(), 0);
  return saved;
}

void AgentClassTable::CheckpointIfIdle() {
  if (m_agentClass.get() == nullptr) return;
  platform::ComPtr<IUnknown> instance(m_agentClass->Instance());
  platform::ComPtr<IZuInfoAgent> agent;
  if (instance.get() == nullptr ||
      FAILED(instance->QueryInterface(IID_IZuInfoAgent, agent.out_void()))) {
    return;
  }
  static_cast<CZuInfoAgent*>(agent.get())->CheckpointIfIdle();
}

}  // namespace qoinfo::win
