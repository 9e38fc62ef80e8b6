// Parsing a qoinfo command's arguments: options that take a value
// ("--url U" or "--url=U"), switches ("--json"), and the rest in order.
// "--" ends the options; "-h" before it is "--help".
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace qoinfo::tools {

struct CommandSyntax {
  std::vector<std::string> value_options;  // e.g. "--url"
  std::vector<std::string> switches;       // e.g. "--json"; "--help" is known
  bool takes_operands = false;
};

struct ParsedArguments {
  std::map<std::string, std::string> values;
  std::set<std::string> switches;
  std::vector<std::string> operands;

  bool Has(const std::string& option) const {
    return values.count(option) != 0 || switches.count(option) != 0;
  }
  std::string Value(const std::string& option) const {
    auto it = values.find(option);
    return it == values.end() ? std::string() : it->second;
  }
};

// False with `error` for an unknown option, a missing value, a repeated
// option or an operand where none is taken.
bool ParseArguments(const std::vector<std::string>& args,
                    const CommandSyntax& syntax, ParsedArguments* parsed,
                    std::string* error);

// Parses a command's arguments and answers --help. False when the command
// is done before it began: *status is then kExitOk after printing `usage`
// for --help, or kExitUsage after reporting the mistake and the usage.
bool ReadCommandArguments(const std::string& command,
                          const std::vector<std::string>& args,
                          const CommandSyntax& syntax, const char* usage,
                          ParsedArguments* parsed, int* status);

// A decimal integer in the range of int64 (a leading '-' allowed), all of
// `text`.
bool ParseInt64(const std::string& text, long long* value);

}  // namespace qoinfo::tools
