// Session: what one qoinfo invocation shares between its commands (one
// command, or many in a batch): the data directory chosen on the command
// line and the agent's connection: the agent embedded in this process or the
// server (agent_place.h), chosen and started by the
// first command that needs it and let go, saving an embedded index, when the
// session finishes.
#pragma once

#include <memory>
#include <string>

#include "platform/com_base.h"
#include "tools/common/agent_connection.h"
#include "tools/qoinfo/agent_place.h"

namespace qoinfo::tools {

// What a command may do to a data directory that does not exist: make it
// (commands that add), or only say so (commands that read or remove, which
// have nothing to work on there: a mistyped --data-dir creates nothing).
enum class DataUse { kMayCreate, kExisting };

class Session {
 public:
  // `data_directory` empty: the user's data directory.
  explicit Session(std::u16string data_directory,
                   AgentPlace place = AgentPlace::kAnywhere)
      : m_dataDirectory(std::move(data_directory)), m_place(place) {}

  // Start the history, or the history and the agent, when not yet done.
  // False after writing "qoinfo <command>: <why>" to standard error.
  bool EnsureHistory(const std::string& command,
                     DataUse use = DataUse::kMayCreate);
  bool EnsureAgent(const std::string& command,
                   DataUse use = DataUse::kMayCreate);
  // After EnsureHistory or EnsureAgent.
  AgentConnection& agent_connection() { return *m_connection; }

  // True while standard input carries the commands themselves (batch).
  bool stdin_is_commands = false;

  // Stops the agent. kExitOk; kExitFailure after reporting a failed save
  // (the session's changes then wait in the change journal);
  // kExitRecovered when the index was recovered with losses at start-up.
  int Finish();

 private:
  // Chooses where the agent runs, once, and for DataUse::kExisting checks
  // that the data directory this process would open exists.
  bool Connect(const std::string& command, DataUse use);

  std::u16string m_dataDirectory;
  AgentPlace m_place;
  std::unique_ptr<AgentConnection> m_connection;
};

// Writes "qoinfo <command>: <message>" to standard error.
void ReportError(const std::string& command, const std::string& message);
// A failed operation: "qoinfo <command>: <message>" on standard error and,
// for --json, {"error":<message>, "hresult":..., "symbol":...} on standard
// output, so that scripts see every failure.
void ReportFailure(const std::string& command, bool json,
                   const std::string& message, HRESULT hr);

}  // namespace qoinfo::tools
