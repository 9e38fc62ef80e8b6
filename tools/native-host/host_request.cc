#include "tools/native-host/host_request.h"

#include "platform/utf8.h"
#include "tools/common/json_reader.h"
#include "tools/common/json_writer.h"

namespace qoinfo::tools {
namespace {

using Kind = JsonValue::Kind;

// Reads the fields of one message, remembering the first problem.
class Fields {
 public:
  explicit Fields(const JsonObject& object) : m_object(object) {}

  const std::string& problem() const { return m_problem; }

  void Text(const char* name, bool required, std::u16string* out) {
    const JsonValue* value = Find(name, required);
    if (value == nullptr) return;
    std::size_t offset = 0;
    if (value->kind != Kind::kString) {
      Fail(std::string("'") + name + "' must be a string");
    } else if (!platform::Utf8ToUtf16(value->text, out, &offset)) {
      Fail(std::string("'") + name + "' is not UTF-8");
    }
  }

  void Whole(const char* name, bool required, std::int64_t low,
             std::int64_t high, std::int64_t* out) {
    const JsonValue* value = Find(name, required);
    if (value == nullptr) return;
    if (value->kind != Kind::kNumber || !value->whole || value->integer < low ||
        value->integer > high) {
      Fail(std::string("'") + name + "' must be a whole number from " +
           std::to_string(low) + " to " + std::to_string(high));
      return;
    }
    *out = value->integer;
  }

  void Boolean(const char* name, bool* out) {
    const JsonValue* value = Find(name, false);
    if (value == nullptr) return;
    if (value->kind != Kind::kBoolean) {
      Fail(std::string("'") + name + "' must be true or false");
      return;
    }
    *out = value->boolean;
  }

 private:
  const JsonValue* Find(const char* name, bool required) {
    const auto it = m_object.find(std::string_view(name));
    if (it != m_object.end()) return &it->second;
    if (required) Fail(std::string("'") + name + "' is missing");
    return nullptr;
  }
  void Fail(std::string problem) {
    if (m_problem.empty()) m_problem = std::move(problem);
  }

  const JsonObject& m_object;
  std::string m_problem;
};

constexpr std::int64_t kLowest = INT64_MIN, kHighest = INT64_MAX;

}  // namespace

bool ParseHostRequest(std::string_view message, HostRequest* request,
                      std::string* error) {
  *request = HostRequest();
  JsonObject object;
  if (!ParseJsonFlatObject(message, &object, error)) {
    *error = "the message is not a flat JSON object: " + *error;
    return false;
  }
  if (const auto id = object.find("id"); id != object.end()) {
    if (id->second.kind == Kind::kString &&
        id->second.text.size() <= kMaxIdBytes) {
      request->id_json = JsonQuote(id->second.text);
    } else if (id->second.kind == Kind::kNumber && id->second.whole) {
      request->id_json = std::to_string(id->second.integer);
    } else {
      *error = "'id' must be a whole number or a string of at most " +
               std::to_string(kMaxIdBytes) + " bytes";
      return false;
    }
  }
  const auto type = object.find("type");
  const std::string type_name =
      type != object.end() && type->second.kind == Kind::kString
          ? type->second.text
          : std::string();
  Fields fields(object);
  if (type_name == "visit") {
    request->type = HostRequest::Type::kVisit;
    fields.Whole("time", true, kLowest, kHighest, &request->time);
    fields.Text("url", true, &request->url);
    fields.Text("title", false, &request->title);
    fields.Text("text", true, &request->text);
  } else if (type_name == "search") {
    request->type = HostRequest::Type::kSearch;
    fields.Text("query", true, &request->query);
    fields.Whole("limit", false, 1, kMaxHits, &request->limit);
  } else if (type_name == "find") {
    request->type = HostRequest::Type::kFind;
    fields.Text("query", true, &request->query);
    fields.Whole("limit", false, 1, kMaxHits, &request->limit);
    fields.Boolean("prefix", &request->prefix);
  } else if (type_name == "forget") {
    request->type = HostRequest::Type::kForget;
    fields.Whole("time", true, kLowest, kHighest, &request->time);
    fields.Text("url", true, &request->url);
  } else {
    *error =
        "'type' must be \"visit\", \"search\", \"find\" or \"forget\"";
    return false;
  }
  *error = fields.problem();
  const bool names_a_page = request->type == HostRequest::Type::kVisit ||
                            request->type == HostRequest::Type::kForget;
  if (error->empty() && names_a_page && request->url.empty()) {
    *error = "'url' must not be empty";
  }
  return error->empty();
}

}  // namespace qoinfo::tools
