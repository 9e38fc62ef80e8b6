#include "tools/native-host/request_handler.h"

#include <iostream>

#include "platform/hresult_error.h"
#include "tools/common/exit_codes.h"
#include "tools/common/json_writer.h"
#include "tools/common/search_hits.h"
#include "tools/common/server_connection.h"
#include "tools/common/visit_filing.h"

namespace qoinfo::tools {
namespace {

const char* Bool(bool value) { return value ? "true" : "false"; }

// The hits as a JSON array, as many as fit in `room` bytes; `more` when
// some were left out.
std::string HitsJson(const std::vector<SearchHit>& hits, std::size_t count,
                     std::size_t room, bool* more) {
  std::string json = "[";
  std::size_t i = 0;
  for (; i < hits.size() && i < count; ++i) {
    const std::string hit = SearchHitJson(hits[i]);
    if (json.size() + hit.size() + 2 > room) break;
    if (i > 0) json += ',';
    json += hit;
  }
  *more = i < hits.size();
  return json + ']';
}

}  // namespace

std::string ErrorReply(const std::string& id_json, const std::string& message,
                       HRESULT hr) {
  return "{\"id\":" + id_json +
         ",\"ok\":false,\"error\":" + JsonQuote(message) +
         ",\"symbol\":" + JsonQuote(HResultSymbol(hr)) +
         ",\"hresult\":" + JsonQuote(platform::HResultCodeText(hr).substr(8)) +
         "}";
}

std::string RequestHandler::Handle(std::string_view message) {
  HostRequest request;
  std::string why, fields;
  HRESULT hr = E_INVALIDARG;
  if (ParseHostRequest(message, &request, &why)) {
    try {
      hr = Carry(request, &fields, &why);
    } catch (...) {
      hr = platform::HResultFromCurrentException();
      why = DescribeHResult(hr);
    }
  }
  if (FAILED(hr)) {
    m_connection.reset();
    std::cerr << "qoinfo-native-host: " << why << std::endl;
    return ErrorReply(request.id_json, why, hr);
  }
  std::string reply =
      "{\"id\":" + request.id_json + ",\"ok\":true" + fields + "}";
  if (reply.size() > kMaxReplyBytes) {
    return ErrorReply(request.id_json, "the reply would be too long",
                      E_OUTOFMEMORY);
  }
  return reply;
}

HRESULT RequestHandler::Connect(std::string* why) {
  if (!m_connection) {
    m_connection = ConnectServer(std::u16string(), why);
    if (!m_connection) return E_FAIL;
  }
  return m_connection->Start(why);
}

HRESULT RequestHandler::Carry(const HostRequest& request, std::string* fields,
                              std::string* why) {
  HRESULT hr = Connect(why);
  if (FAILED(hr)) return hr;
  switch (request.type) {
    case HostRequest::Type::kVisit: {
      FiledPage filed;
      hr = FilePage(*m_connection, request.time, request.url, std::u16string(),
                    request.title, request.text, &filed, why);
      if (SUCCEEDED(hr)) {
        *fields = std::string(",\"new\":") + Bool(filed.new_visit) +
                  ",\"indexed\":" + Bool(filed.indexed);
      }
      return hr;
    }
    case HostRequest::Type::kSearch:
    case HostRequest::Type::kFind: {
      // One hit more than asked for tells whether there are more.
      FindOptions options;
      options.prefix = request.prefix;
      const SearchOutcome outcome =
          request.type == HostRequest::Type::kSearch
              ? SearchPages(m_connection->agent(), request.query,
                            request.limit + 1)
              : FindPages(*m_connection, request.query, options,
                          request.limit + 1,
                          static_cast<std::size_t>(request.limit));
      hr = FAILED(outcome.search) ? outcome.search : outcome.reading;
      if (FAILED(hr)) {
        *why = (hr == E_INVALIDARG ? "the query has no words: "
                                   : "the search failed: ") +
               DescribeHResult(hr);
        return hr;
      }
      bool more = false;
      const std::string hits =
          HitsJson(outcome.hits, static_cast<std::size_t>(request.limit),
                   kMaxReplyBytes - request.id_json.size() - 64, &more);
      *fields = ",\"hits\":" + hits + ",\"more\":" + Bool(more);
      return S_OK;
    }
    case HostRequest::Type::kForget: {
      ULONG index = 0;
      return ForgetVisit(*m_connection, request.time, request.url, &index, why);
    }
  }
  return E_UNEXPECTED;
}

}  // namespace qoinfo::tools
