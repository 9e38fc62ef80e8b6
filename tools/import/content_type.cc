#include "tools/import/content_type.h"

namespace qoinfo::tools {
namespace {

std::string Lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

bool IsHtmlType(std::string type) {
  type = Lowered(type);
  type = type.substr(0, type.find(';'));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) {
    type.pop_back();
  }
  return type == "text/html" || type == "application/xhtml+xml";
}

std::string CharsetOf(const std::string& type) {
  const std::size_t at = Lowered(type).find("charset=");
  if (at == std::string::npos) return std::string();
  std::string value = type.substr(at + 8);
  value = value.substr(0, value.find(';'));
  std::string out;
  for (char c : value) {
    if (c != '"' && c != '\'' && c != ' ' && c != '\t') out.push_back(c);
  }
  return out;
}

}  // namespace qoinfo::tools
