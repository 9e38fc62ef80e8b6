#include "tools/qoinfo/session.h"

#include <iostream>

#include "platform/utf8.h"
#include "tools/qoinfo/exit_codes.h"

namespace qoinfo::tools {

void ReportError(const std::string& command, const std::string& message) {
  std::cout.flush();
  std::cerr << "qoinfo " << command << ": " << message << std::endl;
}

bool Session::EnsureHistory(const std::string& command) {
  std::string error;
  if (SUCCEEDED(m_embedded.OpenHistory(m_dataDirectory, &error))) return true;
  ReportError(command, error);
  return false;
}

bool Session::EnsureAgent(const std::string& command) {
  std::string error;
  if (SUCCEEDED(m_embedded.Start(m_dataDirectory, &error))) return true;
  ReportError(command, error);
  return false;
}

int Session::Finish() {
  const bool ran = m_embedded.started();
  const std::u16string directory =
      ran ? m_embedded.DataDirectory() : std::u16string();
  const HRESULT saved = m_embedded.Stop();
  if (ran && FAILED(saved)) {
    std::cerr << "qoinfo: the index could not be saved in "
              << platform::Utf16ToUtf8(directory) << ": "
              << DescribeHResult(saved)
              << "; the changes of this run are lost, the previous index "
                 "files are unchanged\n";
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace qoinfo::tools
