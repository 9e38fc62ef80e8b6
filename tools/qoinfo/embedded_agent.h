// EmbeddedAgent: the agent run inside the qoinfo process. Start opens the
// history (our URL base component) in the data directory, registers it as
// the process's URL base class object, and creates the agent through its
// singleton factory, which connects to that history, subscribes to its
// events and loads the index. Stop releases the agent, whose shutdown saves
// the index, and tells whether the save succeeded.
//
// One per process, used on the thread that started it.
#pragma once

#include <memory>
#include <string>

#include "agent/zu_info_agent.h"
#include "agent/zu_info_agent_factory.h"
#include "com/interfaces.h"
#include "platform/com_base.h"
#include "platform/com_ptr.h"
#include "platform/file_lock.h"
#include "urlbase/url_base.h"

namespace qoinfo::tools {

class EmbeddedAgent {
 public:
  EmbeddedAgent() = default;
  ~EmbeddedAgent();
  EmbeddedAgent(const EmbeddedAgent&) = delete;
  EmbeddedAgent& operator=(const EmbeddedAgent&) = delete;

  // Opens the history only: enough for commands that do not touch the
  // index. `data_directory` empty: the user's data directory.
  HRESULT OpenHistory(const std::u16string& data_directory, std::string* error);
  // Opens the history when needed and starts the agent. On failure `error`
  // says what failed.
  HRESULT Start(const std::u16string& data_directory, std::string* error);
  // Ends the agent (saving the index) and closes the history. The save's
  // result: S_OK, S_FALSE when no agent ran, or the save's failure.
  HRESULT Stop();

  bool started() const { return m_agent.get() != nullptr; }
  IZuInfoAgent* agent() const { return m_agent.get(); }
  IBromURLBase* history() const { return m_history.get(); }
  // The agent object itself, for reading its containers.
  const CZuInfoAgent* agent_object() const {
    return static_cast<const CZuInfoAgent*>(m_agent.get());
  }
  // The data directory the history names.
  std::u16string DataDirectory() const;

 private:
  // How long Start waits for another process's agent to end.
  static constexpr int kLockWaitMs = 30000;

  bool m_apartment = false;
  std::unique_ptr<platform::FileLock> m_lock;
  platform::ComPtr<IBromURLBase> m_history;
  DWORD m_historyRegistration = 0;
  platform::ComPtr<CZuInfoAgentFactory> m_factory;
  platform::ComPtr<IZuInfoAgent> m_agent;
};

}  // namespace qoinfo::tools
