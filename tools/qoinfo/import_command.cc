// qoinfo import: every HTML file under the named folders becomes a visit.
#include <iostream>

#include "tools/qoinfo/commands.h"
#include "tools/qoinfo/exit_codes.h"

namespace qoinfo::tools {

int RunImportCommand(Session& /*session*/, const Arguments& /*args*/) {
  ReportError("import", "not built yet");
  return kExitFailure;
}

}  // namespace qoinfo::tools
