// Fetching through WinHTTP: synchronous requests on kMaxFetchesAtOnce
// worker threads that share one session; the limit per host is kept by
// the shared FetchQueue, redirects are followed here (WinHTTP's own policy
// differs between Windows and wine). Results are handed to the caller on its own thread.
// Stopping closes the requests under way, which ends their calls at once.
#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/utf8.h"
#include "product_version.h"
#include "tools/import/content_type.h"
#include "tools/import/fetch_queue.h"
#include "tools/import/page_fetcher.h"

namespace qoinfo::tools {
namespace {

std::wstring Wide(const std::string& utf8) {
  std::u16string units;
  std::size_t offset = 0;
  platform::Utf8ToUtf16(utf8, &units, &offset);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(const std::wstring& wide) {
  return platform::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

// Closes a WinHTTP handle however the fetch ends.
struct Handle {
  HINTERNET h = nullptr;
  ~Handle() {
    if (h != nullptr) WinHttpCloseHandle(h);
  }
};

FetchOutcome OutcomeOfError(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
      return FetchOutcome::kTimeout;
    case ERROR_WINHTTP_REDIRECT_FAILED:
      return FetchOutcome::kRedirect;
    default:
      return FetchOutcome::kOther;
  }
}

// `location` (a redirect's target) against `base`: absolute, scheme-relative
// ("//host/..."), absolute-path ("/...") or relative. Empty unless the
// result is an http: or https: URL.
std::wstring ResolvedUrl(const std::wstring& base,
                         const std::wstring& location) {
  auto scheme_of = [](const std::wstring& url) {
    const std::size_t colon = url.find(L':');
    std::wstring scheme =
        colon == std::wstring::npos ? std::wstring() : url.substr(0, colon);
    for (wchar_t& c : scheme) {
      if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return scheme;
  };
  const std::size_t authority = base.find(L"://") + 3;
  const std::size_t path = base.find_first_of(L"/?#", authority);
  const std::wstring origin = base.substr(0, path);
  std::wstring resolved;
  const std::size_t first_special = location.find_first_of(L":/?#");
  if (first_special != std::wstring::npos && location[first_special] == L':') {
    resolved = location;  // has a scheme of its own
  } else if (location.rfind(L"//", 0) == 0) {
    resolved = base.substr(0, authority - 2) + location;
  } else if (location.rfind(L"/", 0) == 0) {
    resolved = origin + location;
  } else {
    const std::wstring base_path =
        path == std::wstring::npos ? L"/" : base.substr(path);
    const std::wstring folder =
        base_path.substr(0, base_path.find_first_of(L"?#"));
    resolved = origin + folder.substr(0, folder.rfind(L'/') + 1) + location;
  }
  const std::wstring scheme = scheme_of(resolved);
  if (scheme != L"http" && scheme != L"https") return std::wstring();
  return resolved;
}

// What the workers and the caller share, under `mutex`.
struct Shared {
  explicit Shared(const std::vector<FetchRequest>& requests)
      : queue(requests) {}
  std::mutex mutex;
  std::condition_variable changed;
  FetchQueue queue;
  std::deque<FetchResult> results;
  std::vector<HINTERNET> under_way;  // request handles, closed to stop
  bool stopping = false;
  int workers = 0;  // still running
};

class Fetcher {
 public:
  Fetcher(HINTERNET session, Shared* shared)
      : m_session(session), m_shared(shared) {}

  // One fetch, synchronous, following redirects itself (only to http: and
  // https:, at most kMaxRedirects); each request handle is published in
  // shared->under_way while it runs.
  FetchResult Fetch(const FetchRequest& request) {
    FetchResult result;
    result.token = request.token;
    std::wstring url = Wide(request.url);
    for (long redirects = 0;; ++redirects) {
      std::wstring location;
      if (!FetchOnce(url, &result, &location)) return result;
      if (redirects == kMaxRedirects) {
        result.outcome = FetchOutcome::kRedirect;
        result.detail = "more than " + std::to_string(kMaxRedirects) +
                        " redirects";
        return result;
      }
      url = ResolvedUrl(url, location);
      if (url.empty()) {
        result.outcome = FetchOutcome::kRedirect;
        result.detail = "a redirect to " + Narrow(location);
        return result;
      }
    }
  }

 private:
  // True with `location` for a redirect to follow; false with `result` set.
  bool FetchOnce(const std::wstring& url, FetchResult* result,
                 std::wstring* location) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
      result->detail = "not a URL WinHTTP can fetch";
      return false;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    // The fragment is the browser's, never sent.
    path = path.substr(0, path.find(L'#'));
    if (path.empty()) path = L"/";
    Handle connection{WinHttpConnect(m_session, host.c_str(), parts.nPort, 0)};
    if (connection.h == nullptr) {
      Failed(result);
      return false;
    }
    LPCWSTR accept[] = {L"text/html", L"application/xhtml+xml;q=0.9",
                        L"*/*;q=0.1", nullptr};
    HINTERNET handle = WinHttpOpenRequest(
        connection.h, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER, accept,
        parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    if (handle == nullptr) {
      Failed(result);
      return false;
    }
    if (!Publish(handle)) {
      WinHttpCloseHandle(handle);
      return false;
    }
    // No cookies, no credentials of any kind, no redirect followed behind
    // our back; decompression where the system offers it (it then sends
    // Accept-Encoding).
    DWORD disabled = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_AUTHENTICATION |
                     WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(handle, WINHTTP_OPTION_DISABLE_FEATURE, &disabled,
                     sizeof disabled);
    DWORD logon = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
    WinHttpSetOption(handle, WINHTTP_OPTION_AUTOLOGON_POLICY, &logon,
                     sizeof logon);
    DWORD decompression = WINHTTP_DECOMPRESSION_FLAG_ALL;
    WinHttpSetOption(handle, WINHTTP_OPTION_DECOMPRESSION, &decompression,
                     sizeof decompression);
    const bool redirect = Receive(handle, result, location);
    Unpublish(handle);
    return redirect;
  }

  static void Failed(FetchResult* result) {
    const DWORD error = GetLastError();
    result->outcome = OutcomeOfError(error);
    result->detail = "WinHTTP error " + std::to_string(error);
  }

  // True with `location` for a redirect; false with `result` set.
  bool Receive(HINTERNET request, FetchResult* result,
               std::wstring* location) {
    const auto deadline =
        std::chrono::steady_clock::now() +
        std::chrono::milliseconds(kFetchTimeoutMilliseconds);
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request, nullptr)) {
      Failed(result);
      return false;
    }
    DWORD status = 0, size = sizeof status;
    WinHttpQueryHeaders(request,
                        WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                        WINHTTP_NO_HEADER_INDEX);
    wchar_t type[256] = L"";
    size = sizeof type;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_TYPE,
                        WINHTTP_HEADER_NAME_BY_INDEX, type, &size,
                        WINHTTP_NO_HEADER_INDEX);
    const std::string content_type = Narrow(type);
    if (status == 301 || status == 302 || status == 303 || status == 307 ||
        status == 308) {
      wchar_t target[4096] = L"";
      size = sizeof target;
      if (WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION,
                              WINHTTP_HEADER_NAME_BY_INDEX, target, &size,
                              WINHTTP_NO_HEADER_INDEX)) {
        *location = target;
        return true;
      }
    }
    if (status >= 400) {
      result->outcome = FetchOutcome::kHttpStatus;
      result->detail = "HTTP status " + std::to_string(status);
      return false;
    }
    if (!IsHtmlType(content_type)) {
      result->outcome = FetchOutcome::kNotHtml;
      result->detail = "not HTML (" + content_type + ")";
      return false;
    }
    std::string body;
    char buffer[16384];
    for (;;) {
      if (std::chrono::steady_clock::now() > deadline) {
        result->outcome = FetchOutcome::kTimeout;
        return false;
      }
      DWORD read = 0;
      if (!WinHttpReadData(request, buffer, sizeof buffer, &read)) {
        Failed(result);
        return false;
      }
      if (read == 0) break;
      if (body.size() + read > kMaxFetchedBytes) {
        result->outcome = FetchOutcome::kTooLarge;
        return false;
      }
      body.append(buffer, read);
    }
    result->outcome = FetchOutcome::kFetched;
    result->body = std::move(body);
    result->charset = CharsetOf(content_type);
    return false;
  }

  // False when stopping began: the request is not to run.
  bool Publish(HINTERNET request) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (m_shared->stopping) return false;
    m_shared->under_way.push_back(request);
    return true;
  }

  void Unpublish(HINTERNET request) {
    {
      std::lock_guard<std::mutex> lock(m_shared->mutex);
      auto& list = m_shared->under_way;
      for (auto it = list.begin(); it != list.end(); ++it) {
        if (*it == request) {
          list.erase(it);
          // Still ours: close it here. Otherwise stopping closed it.
          WinHttpCloseHandle(request);
          return;
        }
      }
    }
  }

  HINTERNET m_session;
  Shared* m_shared;
};

void Work(HINTERNET session, Shared* shared) {
  Fetcher fetcher(session, shared);
  std::unique_lock<std::mutex> lock(shared->mutex);
  for (;;) {
    if (shared->stopping) break;
    const FetchRequest* request = shared->queue.Next();
    if (request == nullptr) {
      if (shared->queue.Exhausted()) break;
      shared->changed.wait(lock);
      continue;
    }
    lock.unlock();
    FetchResult result = fetcher.Fetch(*request);
    lock.lock();
    shared->queue.Ended(request->host);
    if (!shared->stopping) shared->results.push_back(std::move(result));
    shared->changed.notify_all();
  }
  --shared->workers;
  shared->changed.notify_all();
}

}  // namespace

void FetchPages(const std::vector<FetchRequest>& requests,
                const std::function<bool()>& stop,
                const std::function<void(FetchResult&&)>& done) {
  if (requests.empty()) return;
  const std::wstring agent =
      L"QoInfoAgent/" + Wide(qoinfo::kProductVersion) + L" (history import)";
  Handle session{WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                             0)};
  if (session.h == nullptr) {
    for (const FetchRequest& request : requests) {
      FetchResult result;
      result.token = request.token;
      result.detail = "WinHTTP cannot start";
      done(std::move(result));
    }
    return;
  }
  WinHttpSetTimeouts(session.h, kConnectTimeoutMilliseconds,
                     kConnectTimeoutMilliseconds, kFetchTimeoutMilliseconds,
                     kFetchTimeoutMilliseconds);
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(session.h, WINHTTP_OPTION_REDIRECT_POLICY, &policy,
                   sizeof policy);

  Shared shared(requests);
  std::vector<std::thread> workers;
  shared.workers = static_cast<int>(kMaxFetchesAtOnce);
  for (long i = 0; i < kMaxFetchesAtOnce; ++i) {
    workers.emplace_back(Work, session.h, &shared);
  }
  std::unique_lock<std::mutex> lock(shared.mutex);
  for (;;) {
    while (!shared.results.empty()) {
      FetchResult result = std::move(shared.results.front());
      shared.results.pop_front();
      lock.unlock();
      done(std::move(result));
      lock.lock();
    }
    if (shared.workers == 0) break;
    lock.unlock();
    const bool stopping = stop();
    lock.lock();
    if (stopping) {
      shared.stopping = true;
      // Closing a request ends its calls at once (ERROR_WINHTTP_OPERATION_
      // CANCELLED); its result is dropped.
      for (HINTERNET request : shared.under_way) WinHttpCloseHandle(request);
      shared.under_way.clear();
      shared.changed.notify_all();
      break;
    }
    shared.changed.wait_for(lock, std::chrono::milliseconds(200));
  }
  lock.unlock();
  for (std::thread& worker : workers) worker.join();
}

}  // namespace qoinfo::tools
