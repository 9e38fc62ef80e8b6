#include "host/command_switches.h"

namespace qoinfo {
namespace {

// Upper-casing of the switch names' letters is all the comparison needs:
// the names are ASCII, so any other unit can only differ from them.
char16_t Upper(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Calls `visit` with each candidate word, in order, until it returns true.
template <typename Visit>
bool ForEachCandidate(std::u16string_view line, Visit visit) {
  for (std::size_t at = line.find_first_of(u"-/");
       at != std::u16string_view::npos; at = line.find_first_of(u"-/", at + 1)) {
    if (visit(line.substr(at + 1))) return true;
  }
  return false;
}

}  // namespace

bool CandidateMatches(std::u16string_view candidate, std::u16string_view name) {
  std::size_t i = 0;
  for (; i < name.size(); ++i) {
    if (i == candidate.size() || Upper(candidate[i]) != Upper(name[i])) {
      return false;
    }
  }
  return i == candidate.size() || candidate[i] == u' ' || candidate[i] == u'\t';
}

ServerSwitch FindServerSwitch(std::u16string_view command_line) {
  ServerSwitch found = ServerSwitch::kNone;
  ForEachCandidate(command_line, [&](std::u16string_view candidate) {
    if (CandidateMatches(candidate, u"UnregServer")) {
      found = ServerSwitch::kUnregServer;
    } else if (CandidateMatches(candidate, u"RegServer")) {
      found = ServerSwitch::kRegServer;
    }
    return found != ServerSwitch::kNone;
  });
  if (found != ServerSwitch::kNone) return found;
  ForEachCandidate(command_line, [&](std::u16string_view candidate) {
    if (CandidateMatches(candidate, u"Version")) found = ServerSwitch::kVersion;
    return found != ServerSwitch::kNone;
  });
  if (found != ServerSwitch::kNone) return found;
  ForEachCandidate(command_line, [&](std::u16string_view candidate) {
    if (CandidateMatches(candidate, u"Service")) found = ServerSwitch::kService;
    return found != ServerSwitch::kNone;
  });
  return found;
}

}  // namespace qoinfo
