// The messages the browser's extension sends the native host, read and
// checked (docs/browser.md has their fields):
//   {"id":1,"type":"visit","time":1796724000,"url":"https://...","title":"...","text":"..."}
//   {"id":2,"type":"search","query":"words","limit":20}
//   {"id":4,"type":"find","query":"\"lighthouse keeper\" harb","prefix":true,"limit":20}
//   {"id":3,"type":"forget","time":1796724000,"url":"https://..."}
// `id` (a number or a string, optional) comes back in the reply. Fields the
// host does not know are ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qoinfo::tools {

// The largest message the host reads (the extension cuts page texts so that
// its messages stay below it), and the largest reply the browsers take.
inline constexpr std::uint32_t kMaxMessageBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kMaxReplyBytes = 1024 * 1024;
// Hits in a search reply: `limit` when given, else the default.
inline constexpr std::int64_t kDefaultHits = 20;
inline constexpr std::int64_t kMaxHits = 100;
// A longer id is refused: every reply carries it.
inline constexpr std::size_t kMaxIdBytes = 256;

struct HostRequest {
  // kFind: the agent's Find (quoted phrases; `prefix`), hits with snippets.
  enum class Type { kVisit, kSearch, kForget, kFind };
  Type type = Type::kVisit;
  std::string id_json = "null";  // the message's id as JSON, for the reply
  std::int64_t time = 0;         // visit, forget
  std::u16string url;            // visit, forget
  std::u16string title, text;    // visit
  std::u16string query;          // search, find
  std::int64_t limit = kDefaultHits;
  bool prefix = false;           // find
};

// False with `error` when `message` is not a request the host takes;
// `id_json` is still set when the message was an object with an id.
bool ParseHostRequest(std::string_view message, HostRequest* request,
                      std::string* error);

}  // namespace qoinfo::tools
