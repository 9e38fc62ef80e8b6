#include "agent/zu_info_agent.h"

#include <new>

#include "agent/add_data.h"
#include "agent/search.h"
#include "host/module_lock.h"
#include "index/index_files.h"
#include "platform/alert.h"
#include "platform/class_objects.h"
#include "platform/hresult_error.h"
#include "platform/interface_table.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"

namespace qoinfo {
namespace {

// Set while the agent is destroyed, so that references taken and dropped
// by its shutdown can never bring the count to 0 again.
constexpr LONG kDestructionCount = -1073741823;

std::atomic<HRESULT> g_last_save_result{S_FALSE};

const platform::InterfaceEntry<CZuInfoAgent> kInterfaces[] = {
    {&IID_IZuInfoAgent,
     [](CZuInfoAgent* agent) -> IUnknown* {
       return static_cast<IZuInfoAgent*>(agent);
     }},
    {&IID_IDispatch,
     [](CZuInfoAgent* agent) -> IUnknown* {
       return static_cast<IZuInfoAgent*>(agent);
     }},
    {&IID_IProvideClassInfo,
     [](CZuInfoAgent* agent) -> IUnknown* {
       return static_cast<IProvideClassInfo*>(agent);
     }},
};

// Owns the three strings GetData hands over.
struct VisitStrings {
  explicit VisitStrings(_URL_DATE_IA_S& data)
      : url(data.Url), path(data.Path), title(data.Title) {}
  platform::UniqueBstr url, path, title;
};

}  // namespace

HRESULT LastShutdownSaveResult() { return g_last_save_result.load(); }

CZuInfoAgent* CZuInfoAgent::New() { return new (std::nothrow) CZuInfoAgent(); }

CZuInfoAgent::~CZuInfoAgent() {
  m_refCount.store(kDestructionCount);
  Shutdown();
  m_urlBase.Reset();
  try {
    m_wordContainer = CWordToIdsContainer();
    m_idContainer = CIDContainer();
  } catch (...) {
    // Emptying cannot fail for want of memory; the members go anyway.
  }
  // The event receiver base frees its subscription records last.
}

// --- IUnknown ---------------------------------------------------------------

HRESULT CZuInfoAgent::QueryInterface(REFIID riid, void** object) {
  return platform::QueryInterfaceFromTable(this, kInterfaces, riid, object);
}

ULONG CZuInfoAgent::AddRef() {
  const LONG count = ++m_refCount;
  if (count == 2) ProcessModuleLock().Lock();
  return static_cast<ULONG>(count);
}

ULONG CZuInfoAgent::Release() {
  const LONG count = --m_refCount;
  if (count == 1) ProcessModuleLock().Unlock();
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

// --- IZuInfoAgent -----------------------------------------------------------

HRESULT CZuInfoAgent::AddData(_URL_DATE_IA data) {
  return qoinfo::AddData(data, m_idContainer, m_wordContainer);
}

HRESULT CZuInfoAgent::Search(BSTR what, ISearchDataEnumerator** result) {
  return qoinfo::Search(what, result, m_idContainer, m_wordContainer);
}

// --- Events -----------------------------------------------------------------

HRESULT CZuInfoAgent::HookEvents() {
  if (m_urlBase.get() == nullptr) return E_FAIL;
  return HookEvent(m_urlBase.get(), kOnDataBeforeRemovePosition,
                   kHandleDataBeforeRemove);
}

HRESULT CZuInfoAgent::UnhookEvents() {
  return UnhookEvent(m_urlBase.get(), kOnDataBeforeRemovePosition);
}

HRESULT CZuInfoAgent::__eventHandlerProxy(std::int32_t handler,
                                          ULONG argument) {
  if (handler == kHandleDataBeforeRemove) {
    return HandleDataBeforeRemove(argument);
  }
  return S_FALSE;
}

HRESULT CZuInfoAgent::HandleDataBeforeRemove(ULONG index) {
  if (m_urlBase.get() == nullptr) return S_OK;
  _URL_DATE_IA_S data{};
  if (FAILED(m_urlBase->GetData(&data, index))) return S_OK;
  try {
    const VisitStrings strings(data);
    // Only time and URL identify the page; a null string reads as empty.
    const CTimeURLContainer visit(data.Time, platform::FromOleString(data.Url),
                                  platform::FromOleString(data.Path),
                                  platform::FromOleString(data.Title));
    const std::int64_t id = m_idContainer.FindRecord(visit);
    if (id >= 1) {
      m_wordContainer.RemoveId(id);
      m_idContainer.RemoveRecord(id);
    }
  } catch (...) {
    // Out of memory ends the handler; the source is answered all the same.
  }
  return S_OK;
}

// --- Start-up and shutdown --------------------------------------------------

HRESULT CZuInfoAgent::Startup() {
  m_urlBase.Reset();
  if (FAILED(CreateURLBase())) {
    m_urlBase.Reset();
    platform::ShowErrorAlert(kCannotCreateURLBase);
    return E_FAIL;
  }
  // A success code other than S_OK counts as failure too.
  if (HookEvents() != S_OK) {
    platform::ShowErrorAlert(kCannotHookURLBase);
    m_urlBase.Reset();
    return E_FAIL;
  }
  return LoadIndex();
}

HRESULT CZuInfoAgent::CreateURLBase() {
  platform::ComPtr<IUnknown> object;
  HRESULT hr = CoCreateInstance(CLSID_BromURLBase, nullptr, CLSCTX_ALL,
                                IID_IUnknown, object.out_void());
  if (FAILED(hr)) return hr;
  if (object.get() == nullptr) return E_POINTER;
  hr = OleRun(object.get());
  if (FAILED(hr)) return hr;
  hr = object->QueryInterface(IID_IBromURLBase, m_urlBase.out_void());
  if (SUCCEEDED(hr) && m_urlBase.get() == nullptr) hr = E_POINTER;
  return hr;
}

HRESULT CZuInfoAgent::LoadIndex() {
  try {
    const std::u16string directory = DataDirectoryOf(m_urlBase.get());
    // No directory named: nothing can be read (or saved).
    if (directory.empty()) return E_FAIL;
    const IndexLoadResult load =
        LoadIndexFiles(directory, m_idContainer, m_wordContainer);
    if (load.hr == S_OK) return S_OK;
    // A new data directory starts with an empty index.
    if (load.NeitherFileExists()) {
      m_idContainer = CIDContainer();
      m_wordContainer = CWordToIdsContainer();
      return S_OK;
    }
    return E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

void CZuInfoAgent::Shutdown() {
  UnhookEvents();
  if (m_urlBase.get() == nullptr) return;
  HRESULT hr = S_FALSE;
  std::u16string directory;
  try {
    directory = DataDirectoryOf(m_urlBase.get());
    if (!directory.empty()) {
      hr = SaveIndexFiles(directory, m_idContainer, m_wordContainer);
    }
  } catch (...) {
    hr = platform::HResultFromCurrentException();
  }
  g_last_save_result.store(hr);
  if (FAILED(hr)) {
    // Nobody can be answered at this point; the log keeps the failure.
    try {
      const std::string code = platform::HResultCodeText(hr);
      platform::LogError(u"QoInfoAgent could not save the index in \"" +
                         directory + u"\": " +
                         std::u16string(code.begin(), code.end()));
    } catch (...) {
    }
  }
}

}  // namespace qoinfo
