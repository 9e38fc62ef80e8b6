#include "tools/qoinfo/agent_place.h"

#include "tools/common/server_connection.h"
#include "tools/qoinfo/embedded_connection.h"

namespace qoinfo::tools {

std::unique_ptr<AgentConnection> ConnectAgent(
    AgentPlace place, const std::u16string& data_directory,
    std::string* error) {
  if (place != AgentPlace::kEmbedded) {
    std::string why;
    std::unique_ptr<AgentConnection> server =
        ConnectServer(data_directory, &why);
    if (server) return server;
    if (place == AgentPlace::kServer) {
      *error = "--server: " + why;
      return nullptr;
    }
  }
  return std::make_unique<EmbeddedConnection>(data_directory);
}

}  // namespace qoinfo::tools
