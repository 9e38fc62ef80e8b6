// Reaching the QoInfoAgent server of this user: on Linux the agent and the
// history services on the session bus (started by the bus on the first
// call when they are registered), on Windows the COM servers QoInfoAgent.exe
// and BromHelper.exe (started by COM). Whoever connects this way is a
// client of the one agent the server runs, never a second agent.
#pragma once

#include <memory>
#include <string>

#include "tools/common/agent_connection.h"

namespace qoinfo::tools {

// A connection to the server when it is running or can be started, and
// keeps its data in `data_directory` (empty: wherever it keeps them).
// Otherwise null, with `why` saying what stands in the way.
std::unique_ptr<AgentConnection> ConnectServer(
    const std::u16string& data_directory, std::string* why);

}  // namespace qoinfo::tools
