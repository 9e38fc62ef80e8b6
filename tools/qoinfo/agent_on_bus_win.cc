// On Windows the agent's server is reached through COM, which qoinfo does
// not use: sessions run the agent embedded.
#include "tools/qoinfo/agent_on_bus.h"

#include "tools/qoinfo/embedded_connection.h"

namespace qoinfo::tools {

std::unique_ptr<AgentConnection> ConnectAgent(
    AgentPlace place, const std::u16string& data_directory, std::string* error) {
  if (place == AgentPlace::kServer) {
    *error = "--server: on Windows qoinfo runs the agent in its own process";
    return nullptr;
  }
  return std::make_unique<EmbeddedConnection>(data_directory);
}

}  // namespace qoinfo::tools
