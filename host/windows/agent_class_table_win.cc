#include "host/windows/agent_class_table_win.h"

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

}  // namespace qoinfo::win
