#include "tools/qoinfo/session.h"

#include <iostream>

#include "agent/zu_info_agent.h"
#include "platform/file_system.h"
#include "platform/hresult_error.h"
#include "platform/utf8.h"
#include "tools/common/json_writer.h"
#include "tools/common/exit_codes.h"

namespace qoinfo::tools {

void ReportError(const std::string& command, const std::string& message) {
  std::cout.flush();
  std::cerr << "qoinfo " << command << ": " << message << std::endl;
}

void ReportFailure(const std::string& command, bool json,
                   const std::string& message, HRESULT hr) {
  ReportError(command, message);
  if (json) {
    std::cout << "{\"error\":" << JsonQuote(message) << ",\"hresult\":"
              << JsonQuote(platform::HResultCodeText(hr).substr(8))
              << ",\"symbol\":" << JsonQuote(HResultSymbol(hr)) << "}\n"
              << std::flush;
  }
}

bool Session::Connect(const std::string& command, DataUse use) {
  if (!m_connection) {
    std::string error;
    m_connection = ConnectAgent(m_place, m_dataDirectory, &error);
    if (!m_connection) {
      ReportError(command, error);
      return false;
    }
  }
  if (use == DataUse::kMayCreate || m_connection->history() != nullptr) {
    return true;
  }
  const std::u16string folder = m_connection->LocalDataDirectory();
  if (folder.empty() || platform::FileExists(folder)) return true;
  ReportError(command, "there is no data directory " +
                           platform::Utf16ToUtf8(folder) +
                           " (nothing was ever added there; check --data-dir "
                           "or QOINFO_DATA_DIR)");
  return false;
}

bool Session::EnsureHistory(const std::string& command, DataUse use) {
  if (!Connect(command, use)) return false;
  std::string error;
  if (SUCCEEDED(m_connection->OpenHistory(&error))) return true;
  ReportError(command, error);
  return false;
}

bool Session::EnsureAgent(const std::string& command, DataUse use) {
  if (!Connect(command, use)) return false;
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
              << "; the changes of this run are kept in its change journal "
                 "and are taken up by the next run\n";
    return kExitFailure;
  }
  if (ran && LastIndexStartupReport().data_dropped) return kExitRecovered;
  return kExitOk;
}

}  // namespace qoinfo::tools
