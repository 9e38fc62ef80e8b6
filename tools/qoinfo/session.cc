#include "tools/qoinfo/session.h"

#include <iostream>

#include "platform/utf8.h"
#include "tools/qoinfo/exit_codes.h"

namespace qoinfo::tools {

void ReportError(const std::string& command, const std::string& message) {
  std::cout.flush();
  std::cerr << "qoinfo " << command << ": " << message << std::endl;
}

bool Session::Connect(const std::string& command) {
  if (m_connection) return true;
  std::string error;
  m_connection = ConnectAgent(m_place, m_dataDirectory, &error);
  if (m_connection) return true;
  ReportError(command, error);
  return false;
}

bool Session::EnsureHistory(const std::string& command) {
  if (!Connect(command)) return false;
  std::string error;
  if (SUCCEEDED(m_connection->OpenHistory(&error))) return true;
  ReportError(command, error);
  return false;
}

bool Session::EnsureAgent(const std::string& command) {
  if (!Connect(command)) return false;
  std::string error;
  if (SUCCEEDED(m_connection->Start(&error))) return true;
  ReportError(command, error);
  return false;
}

int Session::Finish() {
  if (!m_connection) return kExitOk;
  const bool ran = m_connection->started();
  const std::u16string directory =
      ran ? m_connection->DataDirectory() : std::u16string();
  const HRESULT saved = m_connection->Stop();
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
