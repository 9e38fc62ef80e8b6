#include "tools/qoinfo/embedded_agent.h"

#include <iostream>

#include "host/class_factory.h"
#include "index/index_files.h"
#include "platform/alert.h"
#include "platform/class_objects.h"
#include "platform/file_system.h"
#include "platform/utf8.h"
#include "tools/common/exit_codes.h"
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
  platform::ComPtr<CClassFactory> factory(
      CClassFactory::ForExistingObject(m_history.get()));
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
    const std::u16string lock_path = IndexFilePath(directory, IndexFile::kLock);
    hr = platform::FileLock::Acquire(lock_path, 0, &m_lock);
    if (hr == platform::kLockHeldElsewhere) {
      std::cerr << "qoinfo: another process is using the index in "
                << platform::Utf16ToUtf8(directory) << "; waiting up to "
                << kLockWaitMs / 1000 << " s for it (agent.lock)" << std::endl;
      hr = platform::FileLock::Acquire(lock_path, kLockWaitMs, &m_lock);
    }
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
    // The agent itself said why (a missing history, index files it could
    // not load, and what to do about them).
    *error = "the agent could not start in " +
             platform::Utf16ToUtf8(directory) + " (" + DescribeHResult(hr) +
             "); the message above says why";
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
