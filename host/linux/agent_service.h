// AgentService: the shared agent served on D-Bus as QoInfoAgent.ZuInfoAgent
// at /QoInfoAgent/ZuInfoAgent, interface QoInfoAgent.IZuInfoAgent (AddData,
// Search), plus QoInfoAgent.IIndexInfo for qoinfo (HasPage, Counts) and
// QoInfoAgent.IFind for people's searches (Find, Snippets). The
// agent is the same CZuInfoAgent as everywhere, made by its singleton
// factory when the service starts; it reaches the history service through
// the URL base class object the server registered. Searches hand out
// enumerator objects (enumerator_objects.h).
//
// While the agent runs the service holds agent.lock in the data directory,
// as an embedded agent does. Bus thread only.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <sdbus-c++/IConnection.h>
#include <sdbus-c++/IObject.h>

#include "agent/zu_info_agent_factory.h"
#include "com/find_interface.h"
#include "com/interfaces.h"
#include "host/linux/bus_loop.h"
#include "host/linux/enumerator_objects.h"
#include "platform/com_ptr.h"
#include "platform/file_lock.h"

namespace qoinfo::bus {

class AgentService {
 public:
  // How long the start waits for another process's agent to end.
  static constexpr int kLockWaitMs = 20000;

  AgentService(sdbus::IConnection& connection, BusLoop& loop);
  ~AgentService();
  AgentService(const AgentService&) = delete;
  AgentService& operator=(const AgentService&) = delete;

  // Creates the agent: asks the history for the data directory, takes
  // agent.lock there, and runs the factory. A failure is kept and answered
  // to every call; its HRESULT is returned and `why` says what failed.
  HRESULT StartAgent(std::string* why);
  // Exports the agent's object (before the name is requested).
  void Export();
  // Withdraws the objects and releases the agent, whose shutdown saves the
  // index. The save's result (S_FALSE when no agent ran).
  HRESULT Stop();

 private:
  // How often the quiet agent is asked whether it is time to save: often
  // enough that a removal is saved within seconds.
  static constexpr std::chrono::seconds kCheckpointPoll{1};

  IZuInfoAgent& Agent();
  static IFind& FindOf(IZuInfoAgent& agent);
  // Throws E_INVALIDARG's error, its message saying `why`.
  [[noreturn]] static void RefuseArgument(const std::string& why);
  // Throws E_OUTOFMEMORY's error when `owner` may hold no more enumerators.
  void RefuseAtEnumeratorLimit(const std::string& owner) const;
  void ScheduleIdleCheckpoint();

  sdbus::IConnection& m_connection;
  BusLoop& m_loop;
  EnumeratorObjects m_enumerators;
  std::unique_ptr<sdbus::IObject> m_object;
  platform::ComPtr<CZuInfoAgentFactory> m_factory;
  platform::ComPtr<IZuInfoAgent> m_agent;
  HRESULT m_startResult = E_UNEXPECTED;
  std::unique_ptr<platform::FileLock> m_lock;
};

}  // namespace qoinfo::bus
