#include "host/linux/url_base_service.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <tuple>

#include <sdbus-c++/IProxy.h>

#include "host/linux/bus_errors.h"
#include "host/linux/bus_names.h"
#include "host/linux/bus_records.h"
#include "host/linux/late_removals.h"
#include "com/module_lock.h"
#include "platform/connection_point.h"
#include "platform/hresult_error.h"
#include "platform/interface_table.h"
#include "urlbase/bromurlbase.h"
#include "urlbase/page_texts.h"

namespace qoinfo::bus {
namespace {

using Clock = Apartment::Clock;

// Whether a failed event call means that the sink did not answer (rather
// than answering with an error).
bool NoAnswer(const sdbus::Error& error) {
  const std::string& name = error.getName();
  return name == "org.freedesktop.DBus.Error.NoReply" ||
         name == "org.freedesktop.DBus.Error.Timeout" ||
         name == "org.freedesktop.DBus.Error.TimedOut" ||
         name == "org.freedesktop.DBus.Error.Disconnected";
}

// A sink in another process, as the history's connection point sees it.
// Each event is an asynchronous call made on the bus thread; the apartment
// keeps serving until its answer (or the failure of the call) arrives, at
// most URLBaseService::kSinkWaitLimit and never past `call_deadline`, the
// end of the wait allowed to the call being served. A sink that let the
// limit pass is silent: its events are still sent, but not waited for,
// until it answers one. A visit whose removal a sink did not answer in time
// stays readable by GetData (LateRemovals) until that sink's call ends.
// Holds a module lock while it exists: a subscribed agent keeps the history
// service running. Apartment thread.
class CRemoteEventsSink final : public IBromURLBaseEvents {
 public:
  CRemoteEventsSink(sdbus::IConnection& connection, BusLoop& loop,
                    Apartment& apartment, std::string owner, std::string path,
                    const Clock::time_point* call_deadline,
                    IBromURLBase* history,
                    std::shared_ptr<LateRemovals> late_removals)
      : m_connection(connection),
        m_loop(loop),
        m_apartment(apartment),
        m_owner(std::move(owner)),
        m_path(std::move(path)),
        m_callDeadline(call_deadline),
        m_history(history),
        m_lateRemovals(std::move(late_removals)),
        m_proxy(std::make_shared<std::unique_ptr<sdbus::IProxy>>()),
        m_state(std::make_shared<State>()) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid,
                                           void** object) override {
    static const platform::InterfaceEntry<CRemoteEventsSink> kTable[] = {
        {&IID_IBromURLBaseEvents,
         [](CRemoteEventsSink* sink) -> IUnknown* {
           return static_cast<IBromURLBaseEvents*>(sink);
         }},
        {&IID_IDispatch, [](CRemoteEventsSink* sink) -> IUnknown* {
           return static_cast<IDispatch*>(sink);
         }}};
    return platform::QueryInterfaceFromTable(this, kTable, riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refCount; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --m_refCount;
    if (count == 0) delete this;
    return count;
  }

  // Events are called through the table; there is no type information.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                          DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*,
                                   VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE OnDataAdded(ULONG index) override {
    return Fire("OnDataAdded", true, index, false);
  }
  HRESULT STDMETHODCALLTYPE OnDataBeforeRemove(ULONG index) override {
    return Fire("OnDataBeforeRemove", true, index, true);
  }
  HRESULT STDMETHODCALLTYPE OnSettingsChanged() override {
    return Fire("OnSettingsChanged", false, 0, false);
  }

 private:
  ~CRemoteEventsSink() {
    // The proxy belongs to the bus thread.
    m_loop.Post([proxy = m_proxy] { proxy->reset(); });
  }

  struct Answer {
    std::atomic<bool> done{false};
    HRESULT hr = S_OK;
    // Whether the visit of a removal is held for this call (apartment).
    bool holds_visit = false;
  };
  // Shared with the answers on their way: they outlive a released sink.
  struct State {
    bool silent = false;
  };

  HRESULT Fire(const char* method, bool with_index, ULONG index,
               bool removal) {
    auto answer = std::make_shared<Answer>();
    Apartment& apartment = m_apartment;
    auto deliver = [answer, &apartment, state = m_state,
                    late = m_lateRemovals, index](HRESULT hr, bool answered) {
      apartment.Post([answer, state, late, index, hr, answered] {
        answer->hr = hr;
        answer->done = true;
        if (answered) state->silent = false;
        if (answer->holds_visit) late->Release(index);
      });
    };
    // The visit of a removal that this sink answers late stays readable.
    auto hold_late = [&] {
      if (!removal) return;
      m_lateRemovals->Hold(m_history, index);
      answer->holds_visit = true;
    };
    // By value: a sink not waited for may be gone when the call is made.
    m_loop.Post([&connection = m_connection, owner = m_owner, path = m_path,
                 method, with_index, index, deliver, proxy = m_proxy] {
      try {
        if (!*proxy) {
          *proxy = sdbus::createProxy(connection, owner, path);
          (*proxy)->finishRegistration();
        }
        auto call = (*proxy)
                        ->callMethodAsync(method)
                        .onInterface(kURLBaseEventsInterface)
                        .withTimeout(LateRemovals::kLateEventTimeout);
        if (with_index) call.withArguments(static_cast<std::uint32_t>(index));
        call.uponReplyInvoke(
            [deliver](const sdbus::Error* error, std::int32_t hr) {
              if (error != nullptr) {
                deliver(HResultFromError(*error), !NoAnswer(*error));
              } else {
                deliver(static_cast<HRESULT>(hr), true);
              }
            });
      } catch (const sdbus::Error& error) {
        deliver(HResultFromError(error), false);
      } catch (...) {
        deliver(E_OUTOFMEMORY, false);
      }
    });
    if (m_state->silent) {  // told, not waited for
      hold_late();
      return kPeerGone;
    }
    const Clock::time_point own_limit =
        Clock::now() + URLBaseService::kSinkWaitLimit;
    if (m_apartment.RunUntil([&answer] { return answer->done.load(); },
                             std::min(own_limit, *m_callDeadline))) {
      return answer->hr;
    }
    // No answer in time (or the service is ending): the visit's fate does
    // not wait longer for this sink.
    if (Clock::now() >= own_limit) m_state->silent = true;
    hold_late();
    return kPeerGone;
  }

  ModuleLockHolder m_moduleLock;
  std::atomic<ULONG> m_refCount{1};  // the creator's
  sdbus::IConnection& m_connection;
  BusLoop& m_loop;
  Apartment& m_apartment;
  const std::string m_owner;
  const std::string m_path;
  const Clock::time_point* const m_callDeadline;
  // The history that fires this sink's events (it holds the sink).
  IBromURLBase* const m_history;
  const std::shared_ptr<LateRemovals> m_lateRemovals;
  std::shared_ptr<std::unique_ptr<sdbus::IProxy>> m_proxy;
  const std::shared_ptr<State> m_state;
};

// The history's connection point for IBromURLBaseEvents.
HRESULT EventsPointOf(IBromURLBase* history, IConnectionPoint** point) {
  platform::ComPtr<IConnectionPointContainer> container;
  const HRESULT hr = history->QueryInterface(IID_IConnectionPointContainer,
                                             container.out_void());
  if (FAILED(hr)) return hr;
  return container->FindConnectionPoint(IID_IBromURLBaseEvents, point);
}

// The history's page texts; E_NOINTERFACE when it keeps none.
HRESULT PageTextsOf(IBromURLBase* history,
                    platform::ComPtr<IBromPageTexts>* texts) {
  return history->QueryInterface(IID_IBromPageTexts, texts->out_void());
}

HRESULT UnadviseAt(IBromURLBase* history, DWORD cookie) {
  platform::ComPtr<IConnectionPoint> point;
  const HRESULT hr = EventsPointOf(history, point.out());
  return FAILED(hr) ? hr : point->Unadvise(cookie);
}

}  // namespace

URLBaseService::URLBaseService(sdbus::IConnection& connection, BusLoop& loop,
                               Apartment& apartment)
    : m_connection(connection), m_loop(loop), m_apartment(apartment) {}

URLBaseService::~URLBaseService() = default;

void URLBaseService::OpenHistory() {
  m_openResult = CBromURLBase::CreateInstance(nullptr, IID_IBromURLBase,
                                              m_history.out_void());
  // The service's own reference does not keep it running: only sinks and
  // calls do.
  if (SUCCEEDED(m_openResult)) ProcessModuleLock().Unlock();
}

void URLBaseService::CloseHistory() {
  if (m_history.get() == nullptr) return;
  m_sinkOwners.clear();
  ProcessModuleLock().Lock();
  m_history.Reset();
}

// Runs `work(history, results...)` on the apartment and answers the call
// from the bus thread: its results, or the error of its failure HRESULT.
template <typename... Results, typename Work>
void URLBaseService::Serve(sdbus::Result<Results...>&& result, Work work) {
  auto reply = std::make_shared<sdbus::Result<Results...>>(std::move(result));
  ++m_callsInFlight;
  m_apartment.Post([this, reply, work]() mutable {
    ModuleLockHolder busy;
    // The waits for sinks of this call, and of the calls served while it
    // waits, end by the limit counted from this call's start.
    const bool outermost = m_callDeadline == Clock::time_point::max();
    if (outermost) m_callDeadline = Clock::now() + kCallWaitLimit;
    std::tuple<Results...> values;
    HRESULT hr = m_openResult;
    if (SUCCEEDED(hr)) {
      try {
        hr = std::apply(
            [&](Results&... out) { return work(m_history.get(), out...); },
            values);
      } catch (...) {
        hr = platform::HResultFromCurrentException();
      }
    }
    if (outermost) m_callDeadline = Clock::time_point::max();
    m_loop.Post([this, reply, hr, values] {
      --m_callsInFlight;
      try {
        if (FAILED(hr)) {
          reply->returnError(ErrorFromHResult(kURLBaseErrorPrefix, hr));
        } else {
          std::apply([&](const Results&... out) { reply->returnResults(out...); },
                     values);
        }
      } catch (const sdbus::Error&) {
        // The answer could not be sent (the caller is gone, or the answer
        // is more than the bus carries): an error is the answer, if any.
        try {
          reply->returnError(ErrorFromHResult(kURLBaseErrorPrefix, E_FAIL));
        } catch (const sdbus::Error&) {
        }
      }
    });
  });
}

void URLBaseService::Export() {
  m_object = sdbus::createObject(m_connection, kURLBasePath);
  sdbus::IObject& object = *m_object;
  const char* const iface = kURLBaseInterface;

  object.registerMethod("AddVisit")
      .onInterface(iface)
      .withInputParamNames("time", "url", "path", "title")
      .withOutputParamNames("hr", "index")
      .implementedAs([this](sdbus::Result<std::int32_t, std::uint32_t>&& result,
                            std::int64_t time, std::string url,
                            std::string path, std::string title) {
        Serve(std::move(result), [=](IBromURLBase* history, std::int32_t& hr,
                                     std::uint32_t& index) -> HRESULT {
          platform::UniqueBstr url_text, path_text, title_text;
          HRESULT status = BstrFromText(url, &url_text);
          if (SUCCEEDED(status)) status = BstrFromText(path, &path_text);
          if (SUCCEEDED(status)) status = BstrFromText(title, &title_text);
          if (FAILED(status)) return status;
          ULONG added = 0;
          status = history->AddVisit(time, url_text.get(), path_text.get(),
                                     title_text.get(), &added);
          hr = status;
          index = added;
          return status;
        });
      });
  object.registerMethod("RemoveVisit")
      .onInterface(iface)
      .withInputParamNames("index")
      .withOutputParamNames("hr")
      .implementedAs(
          [this](sdbus::Result<std::int32_t>&& result, std::uint32_t index) {
            Serve(std::move(result),
                  [=](IBromURLBase* history, std::int32_t& hr) -> HRESULT {
                    return hr = history->RemoveVisit(index);
                  });
          });
  object.registerMethod("Count")
      .onInterface(iface)
      .withOutputParamNames("count")
      .implementedAs([this](sdbus::Result<std::uint32_t>&& result) {
        Serve(std::move(result),
              [](IBromURLBase* history, std::uint32_t& count) -> HRESULT {
                ULONG visits = 0;
                const HRESULT hr = history->Count(&visits);
                count = visits;
                return hr;
              });
      });
  object.registerMethod("FindVisit")
      .onInterface(iface)
      .withInputParamNames("time", "url")
      .withOutputParamNames("hr", "index")
      .implementedAs([this](sdbus::Result<std::int32_t, std::uint32_t>&& result,
                            std::int64_t time, std::string url) {
        Serve(std::move(result), [=](IBromURLBase* history, std::int32_t& hr,
                                     std::uint32_t& index) -> HRESULT {
          platform::UniqueBstr url_text;
          HRESULT status = BstrFromText(url, &url_text);
          if (FAILED(status)) return status;
          ULONG found = 0;
          status = history->FindVisit(time, url_text.get(), &found);
          hr = status;
          index = found;
          return status;
        });
      });
  object.registerMethod("GetData")
      .onInterface(iface)
      .withInputParamNames("index")
      .withOutputParamNames("data")
      .implementedAs(
          [this](sdbus::Result<HitRecord>&& result, std::uint32_t index) {
            Serve(std::move(result),
                  [this, index](IBromURLBase* history, HitRecord& record) -> HRESULT {
                    const HRESULT hr = VisitRecordAt(history, index, &record);
                    // A sink that answers a removal late reads the visit
                    // the history has dropped meanwhile.
                    if (FAILED(hr) && m_lateRemovals->Find(index, &record)) {
                      return S_OK;
                    }
                    return hr;
                  });
          });
  object.registerMethod("NextVisit")
      .onInterface(iface)
      .withInputParamNames("after")
      .withOutputParamNames("hr", "index")
      .implementedAs([this](sdbus::Result<std::int32_t, std::uint32_t>&& result,
                            std::uint32_t after) {
        Serve(std::move(result), [=](IBromURLBase* history, std::int32_t& hr,
                                     std::uint32_t& index) -> HRESULT {
          ULONG next = 0;
          const HRESULT status = history->NextVisit(after, &next);
          hr = status;
          index = next;
          return status;
        });
      });
  object.registerMethod("RemoveAll")
      .onInterface(iface)
      .implementedAs([this](sdbus::Result<>&& result) {
        Serve(std::move(result), [](IBromURLBase* history) -> HRESULT {
          return history->RemoveAll();
        });
      });
  object.registerMethod("GetDataDirectory")
      .onInterface(iface)
      .withOutputParamNames("directory")
      .implementedAs([this](sdbus::Result<std::string>&& result) {
        Serve(std::move(result),
              [](IBromURLBase* history, std::string& directory) -> HRESULT {
                BSTR text = nullptr;
                const HRESULT hr = history->GetDataDirectory(&text);
                const platform::UniqueBstr owned(text);
                if (FAILED(hr)) return hr;
                directory = NameFromBstr(text);
                return hr;
              });
      });
  object.registerMethod("Advise")
      .onInterface(iface)
      .withInputParamNames("sink")
      .withOutputParamNames("cookie")
      .implementedAs([this](sdbus::Result<std::uint32_t>&& result,
                            sdbus::ObjectPath sink) {
        const std::string owner =
            m_object->getCurrentlyProcessedMessage()->getSender();
        Serve(std::move(result), [this, owner, sink](
                                     IBromURLBase* history,
                                     std::uint32_t& cookie) -> HRESULT {
          platform::ComPtr<IBromURLBaseEvents> remote(
              new CRemoteEventsSink(m_connection, m_loop, m_apartment, owner,
                                    sink, &m_callDeadline, history,
                                    m_lateRemovals));
          platform::ComPtr<IConnectionPoint> point;
          HRESULT hr = EventsPointOf(history, point.out());
          DWORD issued = 0;
          if (SUCCEEDED(hr)) hr = point->Advise(remote.get(), &issued);
          if (FAILED(hr)) return hr;
          m_sinkOwners[issued] = owner;
          cookie = issued;
          return hr;
        });
      });
  object.registerMethod("Unadvise")
      .onInterface(iface)
      .withInputParamNames("cookie")
      .implementedAs(
          [this](sdbus::Result<>&& result, std::uint32_t cookie) {
            Serve(std::move(result), [this, cookie](IBromURLBase* history) {
              const HRESULT hr = UnadviseAt(history, cookie);
              if (SUCCEEDED(hr)) m_sinkOwners.erase(cookie);
              return hr;
            });
          });
  ExportPageTexts(object);
  object.finishRegistration();

  m_connection.addMatch(
      "type='signal',sender='org.freedesktop.DBus',"
      "interface='org.freedesktop.DBus',member='NameOwnerChanged'",
      [this](sdbus::Message& message) { OnNameOwnerChanged(message); },
      sdbus::floating_slot);
}

void URLBaseService::ExportPageTexts(sdbus::IObject& object) {
  const char* const iface = kPageTextsInterface;
  object.registerMethod("StoreText")
      .onInterface(iface)
      .withInputParamNames("time", "url", "text")
      .withOutputParamNames("hr")
      .implementedAs([this](sdbus::Result<std::int32_t>&& result,
                            std::int64_t time, std::string url,
                            std::string text) {
        Serve(std::move(result),
              [=](IBromURLBase* history, std::int32_t& hr) -> HRESULT {
                platform::ComPtr<IBromPageTexts> texts;
                platform::UniqueBstr url_text, page_text;
                HRESULT status = PageTextsOf(history, &texts);
                if (SUCCEEDED(status)) status = BstrFromText(url, &url_text);
                if (SUCCEEDED(status)) status = BstrFromText(text, &page_text);
                if (FAILED(status)) return status;
                return hr = texts->StoreText(time, url_text.get(),
                                             page_text.get());
              });
      });
  object.registerMethod("GetText")
      .onInterface(iface)
      .withInputParamNames("time", "url")
      .withOutputParamNames("hr", "text")
      .implementedAs([this](sdbus::Result<std::int32_t, std::string>&& result,
                            std::int64_t time, std::string url) {
        Serve(std::move(result),
              [=](IBromURLBase* history, std::int32_t& hr,
                  std::string& text) -> HRESULT {
                platform::ComPtr<IBromPageTexts> texts;
                platform::UniqueBstr url_text;
                HRESULT status = PageTextsOf(history, &texts);
                if (SUCCEEDED(status)) status = BstrFromText(url, &url_text);
                if (FAILED(status)) return status;
                BSTR kept = nullptr;
                status = texts->GetText(time, url_text.get(), &kept);
                const platform::UniqueBstr owned(kept);
                if (FAILED(status)) return status;
                text = TextFromBstr(kept);
                return hr = status;
              });
      });
  object.registerMethod("SetKeepTexts")
      .onInterface(iface)
      .withInputParamNames("keep")
      .implementedAs([this](sdbus::Result<>&& result, bool keep) {
        Serve(std::move(result), [keep](IBromURLBase* history) -> HRESULT {
          platform::ComPtr<IBromPageTexts> texts;
          const HRESULT hr = PageTextsOf(history, &texts);
          return FAILED(hr) ? hr : texts->SetKeepTexts(keep ? 1 : 0);
        });
      });
  object.registerMethod("GetTextTotals")
      .onInterface(iface)
      .withOutputParamNames("keep", "count", "bytes")
      .implementedAs(
          [this](sdbus::Result<bool, std::uint32_t, std::int64_t>&& result) {
            Serve(std::move(result),
                  [](IBromURLBase* history, bool& keep, std::uint32_t& count,
                     std::int64_t& bytes) -> HRESULT {
                    platform::ComPtr<IBromPageTexts> texts;
                    HRESULT hr = PageTextsOf(history, &texts);
                    if (FAILED(hr)) return hr;
                    LONG keeps = 0;
                    ULONG kept = 0;
                    hr = texts->GetTextTotals(&keeps, &kept, &bytes);
                    keep = keeps != 0;
                    count = kept;
                    return hr;
                  });
          });
}

void URLBaseService::OnNameOwnerChanged(sdbus::Message& message) {
  std::string name, old_owner, new_owner;
  message >> name >> old_owner >> new_owner;
  if (!new_owner.empty() || name.empty() || name[0] != ':') return;
  // A connection left the bus: its sinks can hear nothing more.
  m_apartment.Post([this, name] {
    for (auto it = m_sinkOwners.begin(); it != m_sinkOwners.end();) {
      const DWORD cookie = it->first;
      const bool gone = it->second == name;
      ++it;
      if (gone && m_history.get() != nullptr) {
        m_sinkOwners.erase(cookie);
        UnadviseAt(m_history.get(), cookie);
      }
    }
  });
}

}  // namespace qoinfo::bus
