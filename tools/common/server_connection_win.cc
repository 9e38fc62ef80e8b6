// On Windows the agent's server is QoInfoAgent.exe and the history's is
// BromHelper.exe, both reached through COM (started by COM on demand) when
// the agent's class is registered. The index is counted and asked from its
// files and change journal, which the server keeps current with every
// change.
#include <windows.h>

#include "com/interfaces.h"
#include "index/time_url_container.h"
#include "platform/com_ptr.h"
#include "platform/hresult_error.h"
#include "tools/common/exit_codes.h"
#include "tools/common/index_state.h"
#include "tools/common/server_connection.h"

namespace qoinfo::tools {
namespace {

// Whether HKCR\CLSID\{agent}\LocalServer32 exists.
bool AgentRegistered() {
  HKEY key = nullptr;
  const LONG error = RegOpenKeyExW(
      HKEY_CLASSES_ROOT,
      L"CLSID\\{E0496837-6C93-4C59-8DE9-50E54295C207}\\LocalServer32", 0,
      KEY_READ, &key);
  if (error != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class ComConnection final : public AgentConnection {
 public:
  ~ComConnection() override {
    Stop();
    if (m_apartment) CoUninitialize();
  }

  HRESULT OpenHistory(std::string* error) override {
    if (m_history.get() != nullptr) return S_OK;
    HRESULT hr = Apartment(error);
    if (FAILED(hr)) return hr;
    hr = CoCreateInstance(CLSID_BromURLBase, nullptr, CLSCTX_LOCAL_SERVER,
                          IID_IBromURLBase, m_history.out_void());
    if (FAILED(hr)) {
      *error = "cannot reach the history server (BromHelper.exe): " +
               DescribeHResult(hr);
    }
    return hr;
  }

  HRESULT Start(std::string* error) override {
    if (m_agent.get() != nullptr) return S_OK;
    HRESULT hr = OpenHistory(error);
    if (FAILED(hr)) return hr;
    hr = CoCreateInstance(CLSID_CZuInfoAgent, nullptr, CLSCTX_LOCAL_SERVER,
                          IID_IZuInfoAgent, m_agent.out_void());
    if (FAILED(hr)) {
      *error = "the QoInfoAgent server has no running agent: " +
               DescribeHResult(hr) + " (its event log says why)";
    }
    return hr;
  }

  // The server saves its index when it ends; nothing is saved here.
  HRESULT Stop() override {
    m_agent.Reset();
    m_history.Reset();
    return S_FALSE;
  }

  bool started() const override { return m_agent.get() != nullptr; }
  IZuInfoAgent* agent() const override { return m_agent.get(); }
  IBromURLBase* history() const override { return m_history.get(); }
  std::u16string DataDirectory() const override {
    return m_history.get() != nullptr ? DataDirectoryOf(m_history.get())
                                      : std::u16string();
  }
  bool HasLiveIndex() const override { return false; }

  HRESULT HasPage(std::int64_t time, const std::u16string& url,
                  bool* indexed) override {
    try {
      IndexState state;
      ReadIndexState(DataDirectory(), &state);
      const CTimeURLContainer visit(time, url, std::u16string(),
                                    std::u16string());
      *indexed = state.records.FindRecord(visit) >= 1;
      return S_OK;
    } catch (...) {
      return platform::HResultFromCurrentException();
    }
  }
  HRESULT CountIndex(IndexCounts*) override { return E_NOTIMPL; }

 private:
  HRESULT Apartment(std::string* error) {
    if (m_apartment) return S_OK;
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
      *error = "cannot prepare COM: " + DescribeHResult(hr);
      return hr;
    }
    m_apartment = true;
    return S_OK;
  }

  bool m_apartment = false;
  platform::ComPtr<IBromURLBase> m_history;
  platform::ComPtr<IZuInfoAgent> m_agent;
};

}  // namespace

std::unique_ptr<AgentConnection> ConnectServer(
    const std::u16string& data_directory, std::string* why) {
  // The servers keep their data where the user's data directory is.
  if (!data_directory.empty()) {
    *why =
        "the server keeps its data in the user's data directory, not in the "
        "one --data-dir names";
    return nullptr;
  }
  if (!AgentRegistered()) {
    *why =
        "the QoInfoAgent server is not registered (QoInfoAgent.exe "
        "/RegServer registers it)";
    return nullptr;
  }
  return std::make_unique<ComConnection>();
}

}  // namespace qoinfo::tools
