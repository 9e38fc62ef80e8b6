// Fetching through libcurl's multi interface: every transfer on this
// thread, the limits at once and per host kept by our own queue (so that no
// transfer waits inside libcurl with its clock running).
#include <curl/curl.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "product_version.h"
#include "tools/import/content_type.h"
#include "tools/import/fetch_queue.h"
#include "tools/import/page_fetcher.h"

namespace qoinfo::tools {
namespace {

// One transfer: the request, what arrived, and why the body was refused.
struct Transfer {
  const FetchRequest* request = nullptr;
  CURL* easy = nullptr;
  std::string body;
  bool checked_head = false;
  FetchOutcome refused = FetchOutcome::kFetched;
  ~Transfer() { curl_easy_cleanup(easy); }
};

std::string ContentType(CURL* easy) {
  char* type = nullptr;
  curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type);
  return type == nullptr ? std::string() : std::string(type);
}

std::size_t WriteBody(char* data, std::size_t size, std::size_t count,
                      void* user) {
  Transfer* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  if (!transfer->checked_head) {
    // The body of the final answer begins: refuse it early when it is an
    // error or not HTML, rather than read it all.
    transfer->checked_head = true;
    long status = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400) {
      transfer->refused = FetchOutcome::kHttpStatus;
      return 0;
    }
    if (!IsHtmlType(ContentType(transfer->easy))) {
      transfer->refused = FetchOutcome::kNotHtml;
      return 0;
    }
  }
  if (transfer->body.size() + bytes > kMaxFetchedBytes) {
    transfer->refused = FetchOutcome::kTooLarge;
    return 0;
  }
  transfer->body.append(data, bytes);
  return bytes;
}

// The time limit of one page: kFetchTimeoutMilliseconds, or the whole
// seconds QOINFO_FETCH_TIMEOUT names (what tests use to keep a slow server
// short).
long FetchTimeoutMilliseconds() {
  const char* seconds = std::getenv("QOINFO_FETCH_TIMEOUT");
  char* end = nullptr;
  const long value = seconds == nullptr ? 0 : std::strtol(seconds, &end, 10);
  if (value < 1 || value > kFetchTimeoutMilliseconds / 1000 || *end != '\0') {
    return kFetchTimeoutMilliseconds;
  }
  return value * 1000;
}

const std::string& UserAgent() {
  static const std::string agent =
      std::string("QoInfoAgent/") + qoinfo::kProductVersion + " (history import)";
  return agent;
}

curl_slist* AcceptHeaders() {
  static curl_slist* headers = curl_slist_append(
      nullptr, "Accept: text/html,application/xhtml+xml;q=0.9,*/*;q=0.1");
  return headers;
}

std::unique_ptr<Transfer> StartTransfer(const FetchRequest& request) {
  auto transfer = std::make_unique<Transfer>();
  transfer->request = &request;
  transfer->easy = curl_easy_init();
  CURL* easy = transfer->easy;
  if (easy == nullptr) return nullptr;
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, FetchTimeoutMilliseconds());
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   kConnectTimeoutMilliseconds);
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(kMaxFetchedBytes));
  curl_easy_setopt(easy, CURLOPT_USERAGENT, UserAgent().c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, AcceptHeaders());
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  // No credentials from anywhere, no referrer, signals left to us.
  curl_easy_setopt(easy, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED));
  curl_easy_setopt(easy, CURLOPT_AUTOREFERER, 0L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
  return transfer;
}

FetchResult Finish(Transfer& transfer, CURLcode code) {
  FetchResult result;
  result.token = transfer.request->token;
  long status = 0;
  curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
  const std::string type = ContentType(transfer.easy);
  result.detail = curl_easy_strerror(code);
  switch (code) {
    case CURLE_OK:
      if (status >= 400) {
        result.outcome = FetchOutcome::kHttpStatus;
      } else if (!IsHtmlType(type)) {
        result.outcome = FetchOutcome::kNotHtml;
      } else {
        result.outcome = FetchOutcome::kFetched;
        result.body = std::move(transfer.body);
        result.charset = CharsetOf(type);
      }
      break;
    case CURLE_WRITE_ERROR:
      result.outcome = transfer.refused == FetchOutcome::kFetched
                           ? FetchOutcome::kOther
                           : transfer.refused;
      break;
    case CURLE_HTTP_RETURNED_ERROR:
      result.outcome = FetchOutcome::kHttpStatus;
      break;
    case CURLE_FILESIZE_EXCEEDED:
      result.outcome = FetchOutcome::kTooLarge;
      break;
    case CURLE_OPERATION_TIMEDOUT:
      result.outcome = FetchOutcome::kTimeout;
      break;
    case CURLE_TOO_MANY_REDIRECTS:
    // Only http: and https: URLs are fetched: another scheme can only come
    // from a redirect.
    case CURLE_UNSUPPORTED_PROTOCOL:
      result.outcome = FetchOutcome::kRedirect;
      break;
    default:
      result.outcome = FetchOutcome::kOther;
      break;
  }
  if (result.outcome == FetchOutcome::kHttpStatus) {
    result.detail = "HTTP status " + std::to_string(status);
  } else if (result.outcome == FetchOutcome::kNotHtml) {
    result.detail = "not HTML (" + (type.empty() ? "no type" : type) + ")";
  }
  return result;
}

}  // namespace

void FetchPages(const std::vector<FetchRequest>& requests,
                const std::function<bool()>& stop,
                const std::function<void(FetchResult&&)>& done) {
  static std::once_flag initialized;
  std::call_once(initialized, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  CURLM* multi = curl_multi_init();
  if (multi == nullptr) return;
  // Backstops for redirects that lead elsewhere.
  curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, kMaxFetchesAtOnce);
  curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, kMaxFetchesPerHost);
  FetchQueue queue(requests);
  std::map<CURL*, std::unique_ptr<Transfer>> running;
  for (;;) {
    const bool stopping = stop();
    while (!stopping && static_cast<long>(running.size()) < kMaxFetchesAtOnce) {
      const FetchRequest* request = queue.Next();
      if (request == nullptr) break;
      std::unique_ptr<Transfer> transfer = StartTransfer(*request);
      if (transfer == nullptr ||
          curl_multi_add_handle(multi, transfer->easy) != CURLM_OK) {
        FetchResult result;
        result.token = request->token;
        result.detail = "libcurl could not start the fetch";
        queue.Ended(request->host);
        done(std::move(result));
        continue;
      }
      CURL* easy = transfer->easy;
      running.emplace(easy, std::move(transfer));
    }
    if (stopping || running.empty()) break;
    int still_running = 0;
    curl_multi_perform(multi, &still_running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      auto it = running.find(message->easy_handle);
      if (it == running.end()) continue;
      std::unique_ptr<Transfer> transfer = std::move(it->second);
      running.erase(it);
      curl_multi_remove_handle(multi, transfer->easy);
      queue.Ended(transfer->request->host);
      done(Finish(*transfer, message->data.result));
    }
    if (!running.empty()) curl_multi_poll(multi, nullptr, 0, 200, nullptr);
  }
  for (auto& [easy, transfer] : running) curl_multi_remove_handle(multi, easy);
  running.clear();
  curl_multi_cleanup(multi);
}

}  // namespace qoinfo::tools
