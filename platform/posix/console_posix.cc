#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/console.h"

namespace platform {

bool IsStandardErrorTerminal() { return isatty(STDERR_FILENO) == 1; }

bool StandardOutputShowsBold() {
  if (isatty(STDOUT_FILENO) != 1) return false;
  const char* term = std::getenv("TERM");
  return term == nullptr || std::strcmp(term, "dumb") != 0;
}

}  // namespace platform
