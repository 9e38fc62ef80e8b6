// The agent service seen from a client process, as the COM interfaces the
// qoinfo commands use: CBusAgent is IZuInfoAgent over
// QoInfoAgent.IZuInfoAgent, and its Search hands out a
// CBusSearchDataEnumerator, which reads the hits with NextBatch (a batch at
// a time) and releases the object on the server when it is released. It is
// also IFind over QoInfoAgent.IFind, whose Find hands out the same kind of
// enumerator.
// Failures come back as the server's HRESULTs (bus_errors.h).
//
// COM objects with atomic counts; used on one thread. The connection must
// outlive them.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sdbus-c++/IConnection.h>
#include <sdbus-c++/IProxy.h>

#include "com/find_interface.h"
#include "com/interfaces.h"
#include "host/linux/bus_records.h"

namespace qoinfo::bus {

class CBusAgent final : public IZuInfoAgent, public IFind {
 public:
  // A proxy of the agent service with one reference for the caller.
  static HRESULT Create(sdbus::IConnection& connection, CBusAgent** agent);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // No type information crosses the bus: E_NOTIMPL.
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

  HRESULT STDMETHODCALLTYPE AddData(_URL_DATE_IA data) override;
  HRESULT STDMETHODCALLTYPE Search(BSTR what,
                                   ISearchDataEnumerator** result) override;

  // QoInfoAgent.IFind. Find's result is an enumerator read as Search's;
  // Snippet asks Snippets for one page.
  HRESULT STDMETHODCALLTYPE Find(BSTR query, ULONG options,
                                 IUnknown** result) override;
  HRESULT STDMETHODCALLTYPE Snippet(BSTR query, ULONG options,
                                    std::int64_t time, BSTR url, BSTR* text,
                                    BSTR* marks, ULONG* flags) override;
  // The snippets of up to kMaxSnippetPages pages in one call.
  HRESULT Snippets(const std::u16string& query, std::uint32_t options,
                   const std::vector<PageKeyRecord>& pages,
                   std::vector<std::optional<qoinfo::Snippet>>* snippets);

  // QoInfoAgent.IIndexInfo: whether the index holds the visit's page, and
  // its sizes. Both fail with the agent's start failure when it has none.
  HRESULT HasPage(std::int64_t time, BSTR url, bool* indexed);
  HRESULT Counts(std::uint64_t* pages, std::int64_t* last_page_id,
                 std::uint64_t* words, std::uint64_t* postings);

 private:
  explicit CBusAgent(sdbus::IConnection& connection);
  ~CBusAgent() = default;

  std::atomic<ULONG> m_refCount{1};
  sdbus::IConnection& m_connection;
  std::unique_ptr<sdbus::IProxy> m_proxy;
};

}  // namespace qoinfo::bus
