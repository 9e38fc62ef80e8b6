// Choosing where a qoinfo session's agent runs. With --embedded, in this
// process. Otherwise in the QoInfoAgent server when it can be reached
// (server_connection.h). Otherwise in this process, unless --server asked
// for the server: that is then an error saying why it cannot be reached.
#pragma once

#include <memory>
#include <string>

#include "tools/common/agent_connection.h"

namespace qoinfo::tools {

enum class AgentPlace { kAnywhere, kEmbedded, kServer };

// Null with `error` set only for kServer.
std::unique_ptr<AgentConnection> ConnectAgent(
    AgentPlace place, const std::u16string& data_directory, std::string* error);

}  // namespace qoinfo::tools
