// Session: what one qoinfo invocation shares between its commands (one
// command, or many in a batch): the data directory chosen on the command
// line and the embedded agent, started by the first command that needs it
// and stopped, saving the index, when the session finishes.
#pragma once

#include <string>

#include "platform/com_base.h"

#include "tools/qoinfo/embedded_agent.h"

namespace qoinfo::tools {

class Session {
 public:
  // `data_directory` empty: the user's data directory.
  explicit Session(std::u16string data_directory)
      : m_dataDirectory(std::move(data_directory)) {}

  // Start the history, or the history and the agent, when not yet done.
  // False after writing "qoinfo <command>: <why>" to standard error.
  bool EnsureHistory(const std::string& command);
  bool EnsureAgent(const std::string& command);
  EmbeddedAgent& embedded() { return m_embedded; }

  // True while standard input carries the commands themselves (batch).
  bool stdin_is_commands = false;

  // Stops the agent. kExitOk; kExitFailure after reporting a failed save
  // (the session's changes then wait in the change journal);
  // kExitRecovered when the index was recovered with losses at start-up.
  int Finish();

 private:
  std::u16string m_dataDirectory;
  EmbeddedAgent m_embedded;
};

// Writes "qoinfo <command>: <message>" to standard error.
void ReportError(const std::string& command, const std::string& message);
// A failed operation: "qoinfo <command>: <message>" on standard error and,
// for --json, {"error":<message>, "hresult":..., "symbol":...} on standard
// output, so that scripts see every failure.
void ReportFailure(const std::string& command, bool json,
                   const std::string& message, HRESULT hr);

}  // namespace qoinfo::tools
