#include "platform/white_space_units.h"

#include <bitset>

#include "platform/wide_regex.h"

namespace platform {
namespace {

std::bitset<65536> AskTheTraits() {
  const WideRegex::traits_type traits;
  // The class a \s escape looks up: the name "s".
  const RegexChar name[] = {'s'};
  const auto space = traits.lookup_classname(name, name + 1);
  std::bitset<65536> table;
  for (unsigned unit = 0; unit < 65536; ++unit) {
    table[unit] = traits.isctype(static_cast<RegexChar>(unit), space);
  }
  return table;
}

}  // namespace

const std::bitset<65536>& SplitSpaceUnits() {
  static const std::bitset<65536> table = AskTheTraits();
  return table;
}

}  // namespace platform
