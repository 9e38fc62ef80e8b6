#include "tools/qoinfo/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "tools/common/exit_codes.h"
#include "tools/qoinfo/session.h"

namespace qoinfo::tools {
namespace {

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& args,
                    const CommandSyntax& syntax, ParsedArguments* parsed,
                    std::string* error) {
  *parsed = ParsedArguments();
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_ended && arg == "-h") {
      parsed->switches.insert("--help");
      continue;
    }
    if (options_ended || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      if (!syntax.takes_operands) {
        *error = "unexpected argument '" + arg + "'";
        return false;
      }
      parsed->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (Contains(syntax.value_options, name)) {
      std::string value;
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        *error = "option " + name + " needs a value";
        return false;
      }
      if (!parsed->values.emplace(name, value).second) {
        *error = "option " + name + " given twice";
        return false;
      }
    } else if ((name == "--help" || Contains(syntax.switches, name)) &&
               equals == std::string::npos) {
      parsed->switches.insert(name);
    } else {
      *error = "unknown option '" + arg + "'";
      return false;
    }
  }
  return true;
}

bool ReadCommandArguments(const std::string& command,
                          const std::vector<std::string>& args,
                          const CommandSyntax& syntax, const char* usage,
                          ParsedArguments* parsed, int* status) {
  std::string error;
  if (!ParseArguments(args, syntax, parsed, &error)) {
    ReportError(command, error);
    std::cerr << usage;
    *status = kExitUsage;
    return false;
  }
  if (parsed->Has("--help")) {
    std::cout << usage;
    *status = kExitOk;
    return false;
  }
  return true;
}

bool ParseInt64(const std::string& text, long long* value) {
  if (text.empty() || text.size() > 20) return false;
  std::size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  for (std::size_t j = i; j < text.size(); ++j) {
    if (text[j] < '0' || text[j] > '9') return false;
  }
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno == ERANGE || *end != '\0') return false;
  *value = parsed;
  return true;
}

}  // namespace qoinfo::tools
