// The classes QoInfoAgent.exe serves, in order: CSearchDataEnumerator (a new
// object per request) and CZuInfoAgent (the singleton factory). Register
// makes both class objects known to COM for local-server activation with
// multiple use; Withdraw revokes them and lets go of the shared agent, which
// ends now (saving its index) or on its last client's release. Serving
// thread only.
#pragma once

#include <windows.h>

#include "agent/zu_info_agent_factory.h"
#include "host/class_factory.h"
#include "platform/com_ptr.h"

namespace qoinfo::win {

class AgentClassTable {
 public:
  AgentClassTable() = default;
  ~AgentClassTable() { Withdraw(); }
  AgentClassTable(const AgentClassTable&) = delete;
  AgentClassTable& operator=(const AgentClassTable&) = delete;

  // S_OK, or the first failure (what was registered stays until Withdraw).
  HRESULT Register();
  // The HRESULT of the first failing revocation, else S_OK. Nothing happens
  // the second time.
  HRESULT Withdraw();
  // At the end of the session, inside the message that announces it: the
  // agent saves its index now (no call can go out from there), the class
  // objects are withdrawn and every client is cut off the agent. An event
  // handler of the agent that waits in a call out keeps it until it
  // returns. The save's result.
  HRESULT EndAgentNow();
  // Lets the agent, when it runs, save if it is time (CheckpointIfIdle).
  void CheckpointIfIdle();

 private:
  platform::ComPtr<CClassFactory> m_enumeratorClass;
  platform::ComPtr<CZuInfoAgentFactory> m_agentClass;
  DWORD m_enumeratorCookie = 0;
  DWORD m_agentCookie = 0;
};

}  // namespace qoinfo::win
