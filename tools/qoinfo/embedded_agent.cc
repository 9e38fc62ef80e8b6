#include "tools/qoinfo/embedded_agent.h"

#include "host/existing_object_factory.h"
#include "platform/alert.h"
#include "platform/class_objects.h"
#include "platform/file_system.h"
#include "platform/utf8.h"
#include "tools/qoinfo/exit_codes.h"
#include "urlbase/bromurlbase.h"

namespace qoinfo::tools {

EmbeddedAgent::~EmbeddedAgent() { Stop(); }

HRESULT EmbeddedAgent::OpenHistory(const std::u16string& data_directory,
                                   std::string* error) {
  if (m_history.get() != nullptr) return S_OK;
  if (!m_apartment) {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
      *error = "cannot prepare COM: " + DescribeHResult(hr);
      return hr;
    }
    m_apartment = true;
    // A command-line tool reports on the console, never in a box.
    platform::SetAlertStyle(platform::AlertStyle::kConsoleAndLog);
  }
  HRESULT hr =
      data_directory.empty()
          ? CBromURLBase::CreateInstance(nullptr, IID_IBromURLBase,
                                         m_history.out_void())
          : CBromURLBase::CreateInDirectory(data_directory, IID_IBromURLBase,
                                            m_history.out_void());
  if (FAILED(hr)) {
    *error = "cannot open the history" +
             (data_directory.empty()
                  ? std::string()
                  : " in " + platform::Utf16ToUtf8(data_directory)) +
             ": " + DescribeHResult(hr);
    return hr;
  }
  // The agent creates its URL base object by class; it must find this one.
  platform::ComPtr<CExistingObjectFactory> factory(
      CExistingObjectFactory::New(m_history.get()));
  if (factory.get() == nullptr) {
    *error = "cannot open the history: " + DescribeHResult(E_OUTOFMEMORY);
    return E_OUTOFMEMORY;
  }
  hr = CoRegisterClassObject(
      CLSID_BromURLBase, static_cast<IClassFactory*>(factory.get()),
      CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_historyRegistration);
  if (FAILED(hr)) {
    *error = "cannot register the history: " + DescribeHResult(hr);
    return hr;
  }
  return S_OK;
}

HRESULT EmbeddedAgent::Start(const std::u16string& data_directory,
                             std::string* error) {
  if (started()) return S_OK;
  HRESULT hr = OpenHistory(data_directory, error);
  if (FAILED(hr)) return hr;
  const std::u16string directory = DataDirectory();
  if (!m_lock) {
    hr = platform::FileLock::Acquire(
        directory + platform::kPathSeparator + u"agent.lock", kLockWaitMs,
        &m_lock);
    if (FAILED(hr)) {
      *error = "the index in " + platform::Utf16ToUtf8(directory) +
               (hr == platform::kLockHeldElsewhere
                    ? " stayed in use by another process (agent.lock)"
                    : " cannot be locked: " + DescribeHResult(hr));
      return hr;
    }
  }
  if (m_factory.get() == nullptr) {
    m_factory =
        platform::ComPtr<CZuInfoAgentFactory>(CZuInfoAgentFactory::New());
    if (m_factory.get() == nullptr) {
      *error = "cannot start the agent: " + DescribeHResult(E_OUTOFMEMORY);
      return E_OUTOFMEMORY;
    }
  }
  hr = m_factory->CreateInstance(nullptr, IID_IZuInfoAgent, m_agent.out_void());
  if (FAILED(hr)) {
    // Connection failures were announced by the agent itself; what is left
    // is the index files.
    *error = "the agent could not start (" + DescribeHResult(hr) +
             "); unless a message above says otherwise, the index files in " +
             platform::Utf16ToUtf8(directory) +
             " could not be loaded ('qoinfo-index check' tells why)";
    return hr;
  }
  return S_OK;
}

std::u16string EmbeddedAgent::DataDirectory() const {
  if (m_history.get() == nullptr) return std::u16string();
  return DataDirectoryOf(m_history.get());
}

HRESULT EmbeddedAgent::Stop() {
  HRESULT saved = S_FALSE;
  const bool ran = started();
  m_agent.Reset();
  if (m_factory.get() != nullptr) {
    m_factory->ReleaseInstance();
    if (ran) saved = LastShutdownSaveResult();
    m_factory.Reset();
  }
  m_lock.reset();
  if (m_historyRegistration != 0) {
    CoRevokeClassObject(m_historyRegistration);
    m_historyRegistration = 0;
  }
  m_history.Reset();
  if (m_apartment) {
    CoUninitialize();
    m_apartment = false;
  }
  return saved;
}

}  // namespace qoinfo::tools
