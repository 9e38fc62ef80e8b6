#include "agent/zu_info_agent.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "agent/add_data.h"
#include "agent/search.h"
#include "com/module_lock.h"
#include "index/index_files.h"
#include "index/index_load_report.h"
#include "platform/alert.h"
#include "platform/class_objects.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/hresult_error.h"
#include "platform/interface_table.h"
#include "platform/mapped_file.h"
#include "platform/plain_file.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"

namespace qoinfo {
namespace {

// Set while the agent is destroyed, so that references taken and dropped
// by its shutdown can never bring the count to 0 again.
constexpr LONG kDestructionCount = -1073741823;

std::atomic<HRESULT> g_last_save_result{S_FALSE};

std::mutex g_startup_report_mutex;
IndexStartupReport g_startup_report;

void SetStartupReport(IndexStartupReport report) {
  std::lock_guard<std::mutex> lock(g_startup_report_mutex);
  g_startup_report = std::move(report);
}

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
    {&IID_IFind,
     [](CZuInfoAgent* agent) -> IUnknown* {
       return static_cast<IFind*>(agent);
     }},
};

// QOINFO_CHECKPOINT_BYTES, a positive decimal number: false when unset or
// not such a number.
bool CheckpointBytesFromEnvironment(std::uint64_t* bytes) {
  std::u16string text;
  if (!platform::GetEnvironment("QOINFO_CHECKPOINT_BYTES", &text) ||
      text.empty()) {
    return false;
  }
  std::uint64_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9' || value > (UINT64_MAX - 9) / 10) return false;
    value = value * 10 + (c - u'0');
  }
  if (value == 0) return false;
  *bytes = value;
  return true;
}

std::u16string ToUtf16(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// Owns the three strings GetData hands over.
struct VisitStrings {
  explicit VisitStrings(_URL_DATE_IA_S& data)
      : url(data.Url), path(data.Path), title(data.Title) {}
  platform::UniqueBstr url, path, title;
};

}  // namespace

HRESULT LastShutdownSaveResult() { return g_last_save_result.load(); }

IndexStartupReport LastIndexStartupReport() {
  std::lock_guard<std::mutex> lock(g_startup_report_mutex);
  return g_startup_report;
}

CZuInfoAgent* CZuInfoAgent::New() { return new (std::nothrow) CZuInfoAgent(); }

CZuInfoAgent::~CZuInfoAgent() {
  m_refCount.store(kDestructionCount);
  Shutdown();
  m_historyTexts.reset();
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

// --- IDispatch and IProvideClassInfo (com/type_info_dispatch.h) -------------

HRESULT CZuInfoAgent::GetTypeInfoCount(UINT* count) {
  return Dispatch().GetTypeInfoCount(count);
}

HRESULT CZuInfoAgent::GetTypeInfo(UINT index, LCID /*locale*/,
                                  ITypeInfo** info) {
  return Dispatch().GetTypeInfo(index, info);
}

HRESULT CZuInfoAgent::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count,
                                    LCID /*locale*/, DISPID* ids) {
  return Dispatch().GetIDsOfNames(riid, names, count, ids);
}

HRESULT CZuInfoAgent::Invoke(DISPID id, REFIID riid, LCID /*locale*/,
                             WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* arg_error) {
  return Dispatch().Invoke(id, riid, flags, params, result, exception,
                           arg_error);
}

HRESULT CZuInfoAgent::GetClassInfo(ITypeInfo** info) {
  return TypeInfoDispatch::GetClassInfo(CLSID_CZuInfoAgent, info);
}

// --- IZuInfoAgent -----------------------------------------------------------

HRESULT CZuInfoAgent::AddData(_URL_DATE_IA data) {
  PageChange change;
  HRESULT hr = PreparePage(data, &change);
  if (hr != S_OK) return SUCCEEDED(hr) ? S_OK : hr;
  hr = JournalChange(change);
  if (FAILED(hr)) return hr;
  try {
    hr = ApplyPageChange(change, m_idContainer, m_wordContainer);
  } catch (...) {
    hr = platform::HResultFromCurrentException();
  }
  AfterChange();
  // The history keeps the text beside the page's visit, for snippets.
  if (SUCCEEDED(hr) && m_historyTexts) {
    m_historyTexts->Store(data.Time, data.Url, data.Text);
  }
  return hr;
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

void CZuInfoAgent::AddReceiverReference() { AddRef(); }

void CZuInfoAgent::ReleaseReceiverReference() { Release(); }

HRESULT CZuInfoAgent::HandleDataBeforeRemove(ULONG index) {
  if (m_urlBase.get() == nullptr) return S_OK;
  _URL_DATE_IA_S data{};
  if (FAILED(m_urlBase->GetData(&data, index))) return S_OK;
  try {
    const VisitStrings strings(data);
    // Only time and URL identify the page; a null string reads as empty.
    const CTimeURLContainer visit(data.Time, platform::FromOleString(data.Url),
                                  std::u16string(), std::u16string());
    if (m_indexLoaded) {
      RemovePage(visit);
    } else {
      // Start-up waits for the history (this event came in meanwhile) and
      // the index is not loaded yet: the page would be loaded back after
      // this removal. It is removed right after the load instead.
      m_removedDuringStartup.push_back(visit);
    }
  } catch (...) {
    // Out of memory ends the handler; the source is answered all the same.
  }
  return S_OK;
}

void CZuInfoAgent::RemovePage(const CTimeURLContainer& visit) {
  try {
    if (m_idContainer.FindRecord(visit) < 1) return;
    PageChange change;
    change.kind = PageChange::Kind::kPageRemoved;
    change.record = visit;
    // The page goes whatever the journal says: the history drops it now.
    // A journal that cannot take the removal is reported.
    const HRESULT journaled = JournalChange(change);
    if (FAILED(journaled)) {
      platform::LogError(u"QoInfoAgent could not journal the removal of " +
                         visit.m_url + u": " +
                         ToUtf16(platform::HResultCodeText(journaled)));
    }
    ApplyPageChange(change, m_idContainer, m_wordContainer);
    m_removalWaiting = true;
    m_lastRemoval = std::chrono::steady_clock::now();
    AfterChange();
  } catch (...) {
    // Out of memory ends the removal; the source is answered all the same.
  }
}

// --- Start-up and shutdown --------------------------------------------------

HRESULT CZuInfoAgent::Startup() {
  m_historyTexts.reset();
  m_urlBase.Reset();
  if (FAILED(CreateURLBase())) {
    m_historyTexts.reset();
    m_urlBase.Reset();
    platform::ShowErrorAlert(kCannotCreateURLBase);
    return E_FAIL;
  }
  // A success code other than S_OK counts as failure too.
  if (HookEvents() != S_OK) {
    platform::ShowErrorAlert(kCannotHookURLBase);
    m_historyTexts.reset();
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
  if (FAILED(hr)) return hr;
  // A history that does not keep page texts is a history all the same.
  platform::ComPtr<IBromPageTexts> texts;
  if (SUCCEEDED(object->QueryInterface(IID_IBromPageTexts, texts.out_void())) &&
      texts.get() != nullptr) {
    m_historyTexts.reset(new (std::nothrow) HistoryPageTexts(std::move(texts)));
  }
  return hr;
}

HRESULT CZuInfoAgent::LoadIndex() {
  try {
    const std::u16string directory = DataDirectoryOf(m_urlBase.get());
    // No directory named: nothing can be read (or saved).
    if (directory.empty()) return E_FAIL;
    m_dataDirectory = directory;
    return LoadIndexFrom(directory);
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT CZuInfoAgent::LoadIndexFrom(const std::u16string& directory) {
  IndexStartupReport report;
  // A load that cannot go on changes nothing and says why.
  auto refuse = [&](const std::u16string& why, HRESULT hr) {
    report.message = u"The index in " + directory + u" was not loaded: " + why +
                     u" (" + ToUtf16(platform::HResultCodeText(hr)) +
                     u"). Nothing was changed.";
    platform::ShowErrorAlert(report.message);
    SetStartupReport(report);
    return E_FAIL;
  };
  HRESULT hr =
      platform::FileLock::Acquire(IndexFilePath(directory, IndexFile::kLock),
                                  kIndexLockWaitMs, &m_indexLock);
  if (FAILED(hr))
    return refuse(u"another process is using it (agent.lock)", hr);
  SaveRecovery recovery = SaveRecovery::kNone;
  hr = RecoverInterruptedSave(directory, &recovery);
  if (FAILED(hr)) {
    return refuse(
        u"a save that was interrupted could not be finished; start "
        u"again once the folder can be written",
        hr);
  }
  // The image, when it can be used, is what the files hold, ready to be
  // searched where it lies: nothing is read before the first answer.
  ImageProblem image_problem = ImageProblem::kNone;
  IndexLoadResult load;
  if (AttachImageAtStartup(directory, &image_problem)) {
    load.hr = S_OK;
  } else {
    load = LoadIndexFiles(directory, m_idContainer, m_wordContainer);
  }
  const std::u16string load_text = DescribeIndexLoad(directory, load);
  if (load.hr != S_OK && !load.NeitherFileExists()) {
    // Neither file is saved over at shutdown: both stay as they were.
    report.message = load_text;
    platform::ShowErrorAlert(report.message);
    SetStartupReport(report);
    return E_FAIL;
  }
  // Only now that the files were read is an unusable image let go: while
  // they cannot be, it may be the one copy of what they held.
  if (!m_imageCurrent) SetAsideUnusableImage(directory, image_problem);
  if (load.hr != S_OK) {
    // A new data directory starts with an empty index.
    m_idContainer = CIDContainer();
    m_wordContainer = CWordToIdsContainer();
  }
  const std::u16string journal_path =
      IndexFilePath(directory, IndexFile::kJournal);
  const JournalReplay replay =
      ReplayJournal(journal_path, [this](const PageChange& change) {
        ApplyPageChange(change, m_idContainer, m_wordContainer);
      });
  if (replay.hr == platform::kSymbolicLink) {
    return refuse(
        u"its change journal index.journal is a symbolic link, and "
        u"data files are never followed through links (put the "
        u"journal itself there, or remove the link)",
        replay.hr);
  }
  if (FAILED(replay.hr)) {
    return refuse(u"its change journal index.journal cannot be read",
                  replay.hr);
  }
  m_indexLoaded = true;
  m_loadedAt = std::chrono::steady_clock::now();
  m_filesCurrent = load.hr == S_OK && !load.RecoveredWithLoss();
  report.loaded = true;
  report.data_dropped = load.RecoveredWithLoss() || replay.damaged;
  report.message = load_text;
  const std::u16string journal_text = DescribeJournalReplay(directory, replay);
  if (!journal_text.empty()) {
    report.message += (report.message.empty() ? u"" : u" ") + journal_text;
  }
  if (!report.message.empty()) platform::ShowErrorAlert(report.message);
  m_journalStatus = m_journal.Open(journal_path, replay.valid_bytes);
  if (FAILED(m_journalStatus)) {
    platform::LogError(u"QoInfoAgent cannot write its change journal " +
                       journal_path + u" (" +
                       ToUtf16(platform::HResultCodeText(m_journalStatus)) +
                       u"): pages cannot be added until it can.");
  }
  m_checkpointBytesFixed = CheckpointBytesFromEnvironment(&m_checkpointBytes);
  ChooseCheckpointSize(directory);
  SetStartupReport(report);
  // Removals that arrived while start-up waited for the history.
  std::vector<CTimeURLContainer> removed;
  removed.swap(m_removedDuringStartup);
  for (const CTimeURLContainer& visit : removed) RemovePage(visit);
  return S_OK;
}

// --- The journal and checkpoints --------------------------------------------

HRESULT CZuInfoAgent::JournalChange(const PageChange& change) {
  if (m_journal.is_open()) return m_journal.Append(change);
  // An agent that never loaded an index keeps its changes in memory only.
  return m_journalStatus;
}

void CZuInfoAgent::AfterChange() {
  m_lastChange = std::chrono::steady_clock::now();
  if (m_journal.size() >= m_checkpointBytes) Checkpoint();
}

std::uint64_t CZuInfoAgent::UnsavedJournalBytes() const {
  const std::uint64_t size = m_journal.size();
  return size > kJournalHeaderBytes ? size - kJournalHeaderBytes : 0;
}

HRESULT CZuInfoAgent::Checkpoint() {
  if (!m_indexLoaded || !m_journal.is_open() || UnsavedJournalBytes() == 0) {
    return S_FALSE;
  }
  return SaveIndex();
}

HRESULT CZuInfoAgent::CheckpointIfIdle() {
  const auto now = std::chrono::steady_clock::now();
  const bool due = m_removalWaiting
                       ? now - m_lastRemoval >= kRemovalCheckpointDelay
                       : now - m_lastChange >= kIdleCheckpointDelay;
  if (UnsavedJournalBytes() == 0) {
    // Nothing to save, but no image to start from next time: one is
    // written (with the files, when they do not hold the index either).
    if (!ImageDue(now)) return S_FALSE;
    const HRESULT hr = m_filesCurrent ? RefreshImage() : SaveIndex();
    // One attempt (and one line in the log) until the next save.
    if (!m_imageCurrent) m_imageFailed = true;
    return hr;
  }
  if (!due) return S_FALSE;
  // One attempt for the removal; a failed save is tried again by the idle
  // rule.
  m_removalWaiting = false;
  return Checkpoint();
}

void CZuInfoAgent::ChooseCheckpointSize(const std::u16string& directory) {
  if (m_checkpointBytesFixed) return;
  // Replaying the journal costs about ten times what loading the same
  // bytes of index files costs: a quarter of their size keeps a start-up
  // after a crash within a few load times, and spreads the cost of each
  // save over many changes.
  const std::uint64_t files =
      platform::FileSize(IndexFilePath(directory, IndexFile::kRecords)) +
      platform::FileSize(IndexFilePath(directory, IndexFile::kWords));
  m_checkpointBytes = std::max(kCheckpointJournalBytes, files / 4);
}

HRESULT CZuInfoAgent::SaveIndex() {
  const std::u16string& directory = m_dataDirectory;
  if (directory.empty()) {
    // Only a loaded index is saved, and the load named the directory.
    platform::LogError(
        u"QoInfoAgent could not save the index: no data directory is known.");
    return E_UNEXPECTED;
  }
  HRESULT hr = S_FALSE;
  try {
    hr = SaveIndexFiles(
        directory, m_idContainer, m_wordContainer, nullptr,
        [this] { return m_journal.is_open() ? m_journal.Clear() : S_OK; });
  } catch (...) {
    hr = platform::HResultFromCurrentException();
  }
  if (SUCCEEDED(hr)) {
    m_filesCurrent = true;
    m_removalWaiting = false;
    ChooseCheckpointSize(directory);
    // The image follows the files it is made of; its failure is not the
    // save's (RefreshImage logs it).
    RefreshImage();
  }
  if (FAILED(hr)) {
    // Once a save is committed, the next start-up finishes it and empties
    // the journal: nothing more may be written to it. The image is of the
    // files replaced, and may hold pages forgotten since.
    if (platform::FileExists(
            IndexFilePath(directory, IndexFile::kCommitMarker))) {
      m_journal.Close();
      m_journalStatus = hr;
      m_imageCurrent = false;
      platform::RemoveMappedFile(IndexFilePath(directory, IndexFile::kImage));
    }
    // Nobody can be answered at this point; the log keeps the failure.
    try {
      platform::LogError(u"QoInfoAgent could not save the index in \"" +
                         directory + u"\": " +
                         ToUtf16(platform::HResultCodeText(hr)) +
                         u"; its changes stay in the change journal.");
    } catch (...) {
    }
  }
  return hr;
}

HRESULT CZuInfoAgent::SaveNow() {
  // An index that could not be loaded is never saved over its files, and
  // files that already hold the whole index are not written again.
  const bool changed = !m_filesCurrent || UnsavedJournalBytes() > 0;
  return m_indexLoaded && changed ? SaveIndex() : S_FALSE;
}

void CZuInfoAgent::Shutdown() {
  UnhookEvents();
  if (m_urlBase.get() == nullptr) return;
  const HRESULT hr = SaveNow();
  m_journal.Close();
  m_indexLock.reset();
  g_last_save_result.store(hr);
}

}  // namespace qoinfo
