// Session: what one qoinfo invocation shares between its commands (one
// command, or many in a batch): the data directory chosen on the command
// line and the embedded agent, started by the first command that needs it
// and stopped, saving the index, when the session finishes.
#pragma once

#include <string>

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

  // Stops the agent. kExitOk, or kExitFailure after reporting a failed
  // save (the session's changes are then not on disk).
  int Finish();

 private:
  std::u16string m_dataDirectory;
  EmbeddedAgent m_embedded;
};

// Writes "qoinfo <command>: <message>" to standard error.
void ReportError(const std::string& command, const std::string& message);

}  // namespace qoinfo::tools
