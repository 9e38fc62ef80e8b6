// RequestHandler: carries out the browser's messages on the QoInfoAgent
// server of this user (server_connection.h), started on demand; the host
// never runs an agent of its own. A visit is filed as `qoinfo add` files
// it, a search answers with the best hits, a find with the best hits of
// the agent's Find and their snippets, a forget removes the visit.
// Every message gets one reply: {"id":...,"ok":true,...} or
// {"id":...,"ok":false,"error":"...","symbol":"E_...","hresult":"0x..."}.
//
// The connection is kept between messages; a failed message drops it, so
// the next one connects afresh (to a server that ended meanwhile, say).
// One thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/com_base.h"
#include "tools/common/agent_connection.h"
#include "tools/native-host/host_request.h"

namespace qoinfo::tools {

class RequestHandler {
 public:
  // The reply to one message, at most kMaxReplyBytes long.
  std::string Handle(std::string_view message);

 private:
  // The reply's fields after "ok":true, or a failure with `why`.
  HRESULT Carry(const HostRequest& request, std::string* fields,
                std::string* why);
  HRESULT Connect(std::string* why);

  std::unique_ptr<AgentConnection> m_connection;
};

// {"id":<id_json>,"ok":false,"error":<message>,"symbol":...,"hresult":...}
std::string ErrorReply(const std::string& id_json, const std::string& message,
                       HRESULT hr);

}  // namespace qoinfo::tools
