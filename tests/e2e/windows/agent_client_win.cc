// agent_client.exe: a COM client of the Windows servers for the end-to-end
// tests. It runs its arguments as steps, in order, and writes what it sees
// to the file named first (a server COM starts inherits the client's
// standard handles, so the tests read files, not pipes):
//   agent          create the agent out of process (CLSCTX_LOCAL_SERVER)
//   progid         the same through the ProgID "QoInfoAgent.ZuInfoAgent"
//   add T URL TEXT AddData
//   search Q       Search, then Next through the vtable: "hit T URL PERCENT"
//   find Q OPTIONS IFind's Find, then Next as for search, and each hit's
//                  Snippet: "snippet HR FLAGS MARKS TEXT" (MARKS as
//                  BEGIN+LENGTH,...)
//   dispatch Q     the DISPIDs of both interfaces through IDispatch, Search
//                  and Count through Invoke, Count with a surplus argument
//   enumerator     create an enumerator alone and release it
//   visit T URL    add a visit to the history server: "visit INDEX"
//   forget T URL   remove that visit through the history server
//   datadir        the history's data directory: "datadir PATH"
//   wait PATH      hold everything until the file PATH exists
//   touch PATH     create the file PATH
//   release        release the agent
//   embedded DIR   run the agent in this process instead, over DIR
//   bench N        N AddData calls, then N Search+Next round trips:
//                  "bench adddata|search MICROSECONDS_PER_CALL"
// Exit code 0 when every step succeeded; the failing step is written as
// "error STEP 0xHRESULT".
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "com/find_interface.h"
#include "com/interfaces.h"
#include "tools/qoinfo/embedded_agent.h"
#include "urlbase/url_base.h"

namespace {

FILE* g_out = nullptr;

std::string Narrow(const wchar_t* text, std::size_t length) {
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    out += text[i] < 128 ? static_cast<char>(text[i]) : '?';
  }
  return out;
}
std::string Narrow(BSTR text) {
  return text == nullptr ? std::string() : Narrow(text, SysStringLen(text));
}

bool Check(const char* step, HRESULT hr) {
  if (SUCCEEDED(hr)) return true;
  std::fprintf(g_out, "error %s 0x%08lX\n", step, static_cast<unsigned long>(hr));
  return false;
}

template <typename T>
void Drop(T*& p) {
  if (p != nullptr) p->Release();
  p = nullptr;
}

struct Client {
  qoinfo::tools::EmbeddedAgent embedded;
  IZuInfoAgent* agent = nullptr;
  IBromURLBase* history = nullptr;

  HRESULT History() {
    if (history != nullptr) return S_OK;
    return CoCreateInstance(qoinfo::CLSID_BromURLBase, nullptr,
                            CLSCTX_LOCAL_SERVER, qoinfo::IID_IBromURLBase,
                            reinterpret_cast<void**>(&history));
  }

  HRESULT Search(const wchar_t* query) {
    BSTR what = SysAllocString(query);
    ISearchDataEnumerator* hits = nullptr;
    HRESULT hr = agent->Search(what, &hits);
    SysFreeString(what);
    if (FAILED(hr)) return hr;
    return PrintHits(hits, nullptr, nullptr, 0);
  }

  HRESULT Find(const wchar_t* query, ULONG options) {
    IFind* find = nullptr;
    HRESULT hr = agent->QueryInterface(qoinfo::IID_IFind,
                                       reinterpret_cast<void**>(&find));
    if (FAILED(hr)) return hr;
    BSTR what = SysAllocString(query);
    IUnknown* found = nullptr;
    ISearchDataEnumerator* hits = nullptr;
    hr = find->Find(what, options, &found);
    if (SUCCEEDED(hr)) {
      hr = found->QueryInterface(qoinfo::IID_ISearchDataEnumerator,
                                 reinterpret_cast<void**>(&hits));
      found->Release();
    }
    if (SUCCEEDED(hr)) hr = PrintHits(hits, find, what, options);
    SysFreeString(what);
    find->Release();
    return hr;
  }

  // Next to the end, and each hit's snippet when `find` is given.
  HRESULT PrintHits(ISearchDataEnumerator* hits, IFind* find, BSTR query,
                    ULONG options) {
    HRESULT hr = S_OK;
    for (;;) {
      _URL_DATE_IA_S hit = {};
      hr = hits->Next(&hit);
      if (hr != S_OK) break;
      std::fprintf(g_out, "hit %lld %s %d\n", static_cast<long long>(hit.Time),
                   Narrow(hit.Url).c_str(), hit.Percent);
      if (find != nullptr) {
        BSTR text = nullptr, marks = nullptr;
        ULONG flags = 0;
        const HRESULT got = find->Snippet(query, options, hit.Time, hit.Url,
                                          &text, &marks, &flags);
        std::string ranges;
        for (UINT at = 0; at + 4 <= SysStringLen(marks); at += 4) {
          ranges += (ranges.empty() ? "" : ",") +
                    std::to_string(marks[at] | (marks[at + 1] << 16)) + "+" +
                    std::to_string(marks[at + 2] | (marks[at + 3] << 16));
        }
        std::fprintf(g_out, "snippet %ld %lu %s %s\n", static_cast<long>(got),
                     flags, ranges.empty() ? "-" : ranges.c_str(),
                     Narrow(text).c_str());
        SysFreeString(text);
        SysFreeString(marks);
      }
      SysFreeString(hit.Url);
      SysFreeString(hit.Path);
      SysFreeString(hit.Title);
    }
    hits->Release();
    return SUCCEEDED(hr) ? S_OK : hr;
  }

  HRESULT Bench(int calls) {
    using Clock = std::chrono::steady_clock;
    auto per_call = [calls](Clock::time_point start) {
      return std::chrono::duration<double, std::micro>(Clock::now() - start)
                 .count() / calls;
    };
    BSTR text = SysAllocString(L"benchmark words for one round trip");
    BSTR query = SysAllocString(L"round");
    HRESULT hr = S_OK;
    auto start = Clock::now();
    for (int i = 0; i < calls && SUCCEEDED(hr); ++i) {
      const std::wstring address = L"http://bench/" + std::to_wstring(i);
      BSTR url = SysAllocString(address.c_str());
      hr = agent->AddData(_URL_DATE_IA{1000 + i, url, text, nullptr, nullptr});
      SysFreeString(url);
    }
    std::fprintf(g_out, "bench adddata %.1f\n", per_call(start));
    start = Clock::now();
    for (int i = 0; i < calls && SUCCEEDED(hr); ++i) {
      ISearchDataEnumerator* hits = nullptr;
      hr = agent->Search(query, &hits);
      if (FAILED(hr)) break;
      _URL_DATE_IA_S hit = {};
      hr = hits->Next(&hit);
      SysFreeString(hit.Url);
      SysFreeString(hit.Path);
      SysFreeString(hit.Title);
      hits->Release();
    }
    std::fprintf(g_out, "bench search %.1f\n", per_call(start));
    SysFreeString(text);
    SysFreeString(query);
    return hr;
  }

  static void Ids(IDispatch* object, std::vector<const wchar_t*> names) {
    for (const wchar_t* name : names) {
      DISPID id = -1;
      LPOLESTR text = const_cast<LPOLESTR>(name);
      const HRESULT hr =
          object->GetIDsOfNames(IID_NULL, &text, 1, LOCALE_USER_DEFAULT, &id);
      std::fprintf(g_out, "dispid %s %ld 0x%08lX\n",
                   Narrow(name, wcslen(name)).c_str(), id,
                   static_cast<unsigned long>(hr));
    }
  }

  HRESULT Dispatch(const wchar_t* query) {
    IDispatch* dispatch = nullptr;
    HRESULT hr = agent->QueryInterface(IID_IDispatch,
                                       reinterpret_cast<void**>(&dispatch));
    if (FAILED(hr)) return hr;
    Ids(dispatch, {L"AddData", L"Search"});
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(query);
    DISPPARAMS params = {&argument, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    hr = dispatch->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                          &params, &result, nullptr, nullptr);
    VariantClear(&argument);
    dispatch->Release();
    if (FAILED(hr)) return hr;
    if (result.vt != VT_DISPATCH || result.pdispVal == nullptr) return E_FAIL;
    IDispatch* hits = result.pdispVal;
    Ids(hits, {L"Next", L"Reset", L"Count", L"GetThis"});
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    hr = hits->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                      nullptr, nullptr, nullptr);
    std::fprintf(g_out, "count 0x%08lX\n", static_cast<unsigned long>(hr));
    VARIANT surplus;
    VariantInit(&surplus);
    surplus.vt = VT_I4;
    DISPPARAMS one = {&surplus, nullptr, 1, 0};
    const HRESULT extra = hits->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT,
                                       DISPATCH_METHOD, &one, nullptr, nullptr,
                                       nullptr);
    std::fprintf(g_out, "count-with-argument 0x%08lX\n",
                 static_cast<unsigned long>(extra));
    VariantClear(&result);
    return hr;
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  g_out = _wfopen(argv[1], L"w");
  if (g_out == nullptr) return 2;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Client client;
  bool ok = true;
  for (int i = 2; ok && i < argc; ++i) {
    const std::wstring step = argv[i];
    auto next = [&]() -> const wchar_t* { return i + 1 < argc ? argv[++i] : L""; };
    if (step == L"agent" || step == L"progid") {
      CLSID clsid = qoinfo::CLSID_CZuInfoAgent;
      if (step == L"progid") {
        ok = Check("progid", CLSIDFromProgID(L"QoInfoAgent.ZuInfoAgent", &clsid));
      }
      ok = ok && Check("agent", CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER,
                                                 qoinfo::IID_IZuInfoAgent,
                                                 reinterpret_cast<void**>(&client.agent)));
    } else if (step == L"add") {
      const long long time = _wcstoi64(next(), nullptr, 10);
      BSTR url = SysAllocString(next());
      BSTR text = SysAllocString(next());
      ok = Check("add", client.agent->AddData(_URL_DATE_IA{time, url, text, nullptr, nullptr}));
      SysFreeString(url);
      SysFreeString(text);
    } else if (step == L"search") {
      ok = Check("search", client.Search(next()));
    } else if (step == L"find") {
      const wchar_t* query = next();
      ok = Check("find", client.Find(query, wcstoul(next(), nullptr, 10)));
    } else if (step == L"dispatch") {
      ok = Check("dispatch", client.Dispatch(next()));
    } else if (step == L"enumerator") {
      ISearchDataEnumerator* alone = nullptr;
      ok = Check("enumerator", CoCreateInstance(qoinfo::CLSID_CSearchDataEnumerator,
                                                nullptr, CLSCTX_LOCAL_SERVER,
                                                qoinfo::IID_ISearchDataEnumerator,
                                                reinterpret_cast<void**>(&alone)));
      Drop(alone);
    } else if (step == L"visit" || step == L"forget") {
      const long long time = _wcstoi64(next(), nullptr, 10);
      BSTR url = SysAllocString(next());
      ULONG index = 0;
      ok = Check("history", client.History());
      if (ok && step == L"visit") {
        ok = Check("visit", client.history->AddVisit(time, url, nullptr, nullptr, &index));
        std::fprintf(g_out, "visit %lu\n", index);
      } else if (ok) {
        ok = Check("find", client.history->FindVisit(time, url, &index)) &&
             Check("forget", client.history->RemoveVisit(index));
      }
      SysFreeString(url);
    } else if (step == L"datadir") {
      BSTR directory = nullptr;
      ok = Check("history", client.History()) &&
           Check("datadir", client.history->GetDataDirectory(&directory));
      std::fprintf(g_out, "datadir %s\n", Narrow(directory).c_str());
      SysFreeString(directory);
    } else if (step == L"wait") {
      const std::wstring path = next();
      std::fflush(g_out);
      while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(50);
    } else if (step == L"touch") {
      FILE* file = _wfopen(next(), L"w");
      if (file != nullptr) std::fclose(file);
    } else if (step == L"embedded") {
      const wchar_t* directory = next();
      std::string why;
      ok = Check("embedded", client.embedded.Start(
                                 std::u16string(reinterpret_cast<const char16_t*>(directory)),
                                 &why));
      if (ok) {
        client.agent = client.embedded.agent();
        client.agent->AddRef();
      }
    } else if (step == L"bench") {
      ok = Check("bench", client.Bench(_wtoi(next())));
    } else if (step == L"release") {
      Drop(client.agent);
    } else {
      std::fprintf(g_out, "error unknown-step\n");
      ok = false;
    }
    std::fflush(g_out);
  }
  Drop(client.agent);
  Drop(client.history);
  client.embedded.Stop();
  CoUninitialize();
  std::fprintf(g_out, ok ? "done\n" : "failed\n");
  std::fclose(g_out);
  return ok ? 0 : 1;
}
