// CZuInfoAgent: the one working object of the server. It owns the whole
// in-memory index (page records and word index), adds pages (AddData) and
// answers queries (Search), holds the URL base object and listens to its
// removal events. One instance per process, made by CZuInfoAgentFactory;
// start-up maps the index image (or, when it cannot be used, loads the
// index files) and replays the change journal, every change is journaled
// before it is acknowledged, checkpoints and shutdown (at destruction) save
// the index, write its image and empty the journal. The index, its journal
// and its lock stay in the data directory the load found: saving asks the
// history nothing, so it also runs where no call can go out.
//
// Reference counting as a cached object: the count starts at 0, the factory
// holds the first reference, a count of 2 or more holds one module lock (so
// the module is locked exactly while a client holds the agent), 0 destroys.
// Every call runs on the server's apartment thread; the containers are not
// locked.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "agent/event_subscriptions.h"
#include "agent/history_page_texts.h"
#include "agent/page_text_source.h"
#include "com/find_interface.h"
#include "com/interfaces.h"
#include "com/type_info_dispatch.h"
#include "index/change_journal.h"
#include "index/id_container.h"
#include "index/index_image.h"
#include "index/time_url_container.h"
#include "index/word_to_ids_container.h"
#include "platform/com_base.h"
#include "platform/com_ptr.h"
#include "platform/file_lock.h"
#include "urlbase/url_base.h"

namespace qoinfo {

class CZuInfoAgent final : public IZuInfoAgent,
                           public __ComEventingImpl,
                           public IProvideClassInfo,
                           public IFind {
 public:
  // The texts start-up shows when the URL base object fails it.
  static constexpr char16_t kCannotCreateURLBase[] = u"Tq Cannot create ZuUBO";
  static constexpr char16_t kCannotHookURLBase[] = u"Tq Cannot hook ZuUBO";
  // Handler numbers of the dispatch entry.
  static constexpr std::int32_t kHandleDataBeforeRemove = 0;

  // A new agent with a count of 0, empty containers and no URL base object;
  // null when out of memory. Start-up has not run.
  static CZuInfoAgent* New();

  // Connects to the URL base object, subscribes to its events and loads the
  // index. S_OK, or E_FAIL (the agent must then be destroyed). A data
  // directory holding neither index file gives an empty index and S_OK.
  HRESULT Startup();

  // IUnknown: IZuInfoAgent (also for IUnknown and IDispatch),
  // IProvideClassInfo and IFind; E_NOINTERFACE for anything else.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch over IZuInfoAgent and IProvideClassInfo, through
  // TypeInfoDispatch.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale,
                                        ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names,
                                          UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale,
                                   WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;

  // IZuInfoAgent (agent/add_data.h, agent/search.h).
  HRESULT STDMETHODCALLTYPE AddData(_URL_DATE_IA data) override;
  HRESULT STDMETHODCALLTYPE Search(BSTR what,
                                   ISearchDataEnumerator** result) override;

  // IFind (zu_info_agent_find.cc): agent/find.h and agent/snippet.h over
  // this index and PageTexts().
  HRESULT STDMETHODCALLTYPE Find(BSTR query, ULONG options,
                                 IUnknown** result) override;
  HRESULT STDMETHODCALLTYPE Snippet(BSTR query, ULONG options,
                                    std::int64_t time, BSTR url, BSTR* text,
                                    BSTR* marks, ULONG* flags) override;

  // Subscribes to the URL base object's removal event: S_OK, E_FAIL
  // without a URL base object, or the subscription's failure.
  HRESULT HookEvents();
  // Unsubscribes: S_OK, the unadvise failure, or E_FAIL when nothing was
  // subscribed.
  HRESULT UnhookEvents();
  // The removal handler: takes the page at `index` of the URL base object
  // out of the index (the lowest page identifier with its time and URL).
  // A removal that arrives while start-up waits for the history, before the
  // index is loaded, is kept and made right after the load. Always S_OK.
  HRESULT HandleDataBeforeRemove(ULONG index);

  // The event sinks' dispatch entry: S_FALSE for an unbound handler.
  HRESULT __eventHandlerProxy(std::int32_t handler, ULONG argument) override;
  // A sink's hold on the agent while it delivers: AddRef and Release.
  void AddReceiverReference() override;
  void ReleaseReceiverReference() override;

  // Saves the index now when changes wait in the journal, and empties the
  // journal: S_OK, S_FALSE when there was nothing to save, or the failure.
  HRESULT Checkpoint();
  // For the host's quiet moments (hosts ask every second or so): a
  // checkpoint once changes have waited kIdleCheckpointDelay since the last
  // one, or kRemovalCheckpointDelay since the last removal, so that a page
  // the person had forgotten leaves the files within seconds and a burst of
  // removals costs one save. With nothing to save, the index image when
  // the start-up found none it could use, once the agent has been quiet
  // kIdleCheckpointDelay since its start and its last change.
  HRESULT CheckpointIfIdle();
  // A change makes the agent save at once when the journal has grown past
  // a quarter of the index files' size, and at least this size (see
  // docs/reliability.md for how both were chosen); the environment
  // variable QOINFO_CHECKPOINT_BYTES sets a fixed size instead.
  static constexpr std::uint64_t kCheckpointJournalBytes = 32u << 20;
  static constexpr std::chrono::seconds kIdleCheckpointDelay{30};
  static constexpr std::chrono::seconds kRemovalCheckpointDelay{2};
  // How long start-up waits for another process's agent to let go of the
  // index.
  static constexpr int kIndexLockWaitMs = 5000;
  // Bytes of changes waiting in the journal.
  std::uint64_t UnsavedJournalBytes() const;

  // Saves the index now when the files do not hold all of it, as shutdown
  // would, and keeps the journal open for what still comes: for a process
  // that is about to be ended from outside (the end of the session), where
  // the agent may outlive the process's last chance to save. S_OK, S_FALSE
  // when there was nothing to save (or an index that was never loaded), or
  // the failure, which is logged.
  HRESULT SaveNow();

  // The texts the history keeps of the pages, for snippets and phrases:
  // none when the history has no IBromPageTexts (or before start-up).
  PageTextSource& PageTexts() {
    if (m_historyTexts) return *m_historyTexts;
    return m_noPageTexts;
  }

  // The containers, for tools and tests in the same process.
  const CIDContainer& Records() const { return m_idContainer; }
  const CWordToIdsContainer& Words() const { return m_wordContainer; }

 private:
  CZuInfoAgent() = default;
  TypeInfoDispatch Dispatch() {
    return TypeInfoDispatch(IID_IZuInfoAgent, static_cast<IZuInfoAgent*>(this));
  }
  ~CZuInfoAgent();

  // Start-up's steps.
  HRESULT CreateURLBase();
  HRESULT LoadIndex();
  HRESULT LoadIndexFrom(const std::u16string& directory);
  // Takes the page of `visit` out of the index, journaled.
  void RemovePage(const CTimeURLContainer& visit);
  // Writes `change` to the journal before it is applied: S_OK, or why it
  // could not be (the change must then not be made).
  HRESULT JournalChange(const PageChange& change);
  // After an applied change: the checkpoint when the journal is large.
  void AfterChange();
  // Saves the index files and empties the journal, then writes the image.
  HRESULT SaveIndex();

  // The index image (zu_info_agent_image.cc).
  // Searches the image of the index files in `directory` when it can be
  // used: true; otherwise false and why in *problem.
  bool AttachImageAtStartup(const std::u16string& directory,
                            ImageProblem* problem);
  // After the index files were loaded instead of an image: says once why
  // the image could not be used (nothing when there is none), and removes
  // it, since an image of other files may hold pages forgotten since.
  void SetAsideUnusableImage(const std::u16string& directory,
                             ImageProblem problem);
  // After a save wrote the index files: writes their image and searches it
  // instead of the memory. A failure is logged; the index in memory stays.
  HRESULT RefreshImage();
  // Whether CheckpointIfIdle should write the image now.
  bool ImageDue(std::chrono::steady_clock::time_point now) const;
  void AttachImage(std::shared_ptr<const IndexImage> image);
  // The journal size that triggers the next checkpoint, from the size of
  // the index files in `directory`.
  void ChooseCheckpointSize(const std::u16string& directory);
  // Shutdown: unsubscribes and saves; reports failures to the log only.
  void Shutdown();

  // Signed, as the count is set negative while the agent is destroyed.
  std::atomic<LONG> m_refCount{0};
  CIDContainer m_idContainer;
  CWordToIdsContainer m_wordContainer;
  platform::ComPtr<IBromURLBase> m_urlBase;
  // The history's page texts, when it keeps them (AddData hands each page's
  // text over); otherwise none.
  std::unique_ptr<HistoryPageTexts> m_historyTexts;
  NoPageTexts m_noPageTexts;
  // Where the index was loaded from, and is saved to.
  std::u16string m_dataDirectory;
  // Pages whose removal arrived before the index was loaded.
  std::vector<CTimeURLContainer> m_removedDuringStartup;
  // Whether the index was loaded (or is new): only then may it be saved,
  // since a save would overwrite files that could not be read.
  bool m_indexLoaded = false;
  // Whether the files hold the index as loaded or last saved, so that with
  // an empty journal there is nothing to save.
  bool m_filesCurrent = false;
  ChangeJournal m_journal;
  // Why the journal cannot take changes (they are then refused).
  HRESULT m_journalStatus = S_OK;
  std::chrono::steady_clock::time_point m_lastChange;
  // A removal waits in the journal (and the files still hold its page).
  bool m_removalWaiting = false;
  std::chrono::steady_clock::time_point m_lastRemoval;
  std::uint64_t m_checkpointBytes = kCheckpointJournalBytes;
  // "agent.lock" in the data directory, held from the load to the end:
  // no other process may load or save the same index meanwhile.
  std::unique_ptr<platform::FileLock> m_indexLock;
  bool m_checkpointBytesFixed = false;
  // index.image holds what the index files hold, and the containers search
  // it (a start-up from it, or a save that wrote it).
  bool m_imageCurrent = false;
  // The last image could not be written or opened: the idle moments do
  // not try again; the next save does.
  bool m_imageFailed = false;
  // False once an image found no room in the address space (a 32-bit
  // process): this process writes none then, and its saves remove the old.
  bool m_writeImages = true;
  std::chrono::steady_clock::time_point m_loadedAt;
};

// What the last start-up in this process found of the index files and the
// journal: whether the index was loaded, whether a recovery dropped data,
// and the text that was reported (empty when there was nothing to say).
struct IndexStartupReport {
  bool loaded = false;
  bool data_dropped = false;
  std::u16string message;
};
IndexStartupReport LastIndexStartupReport();

// The result of the last save at an agent's shutdown in this process:
// S_FALSE before any shutdown and when there was nothing to save to.
HRESULT LastShutdownSaveResult();

}  // namespace qoinfo
