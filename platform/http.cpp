// HTTP exchanges over libcurl's easy interface (see http.h).
#include "platform/http.h"

#include <curl/curl.h>

#include <cstring>
#include <memory>
#include <string_view>

namespace xol::platform {
namespace {

// Below this many bytes a second for the low-speed time, a transfer is given up.
constexpr long kLowSpeedLimit = 1;
// Only these schemes, also when a redirect points elsewhere (never file: or others).
constexpr const char* kProtocols = "http,https";

using Easy = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using List = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// One header line of a response. A status line starts a new response (a redirect or an interim
// reply came before), so the headers kept so far are dropped.
size_t on_header(char* data, size_t size, size_t count, void* user) {
  auto* headers = static_cast<HttpHeaders*>(user);
  const size_t n = size * count;
  const std::string_view line(data, n);
  if (line.starts_with("HTTP/")) {
    headers->clear();
  } else if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
    // A folded continuation of the previous value.
    if (!headers->empty() && !trim(line).empty())
      headers->back().second.append(" ").append(trim(line));
  } else if (const size_t colon = line.find(':'); colon != std::string_view::npos) {
    headers->emplace_back(std::string(trim(line.substr(0, colon))),
                          std::string(trim(line.substr(colon + 1))));
  }
  return n;
}

struct BodySink {
  std::string* body;
  size_t limit;
  bool overflowed;
};

// Answering fewer bytes than given makes curl end the exchange.
size_t on_body(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<BodySink*>(user);
  const size_t n = size * count;
  if (n > sink->limit - sink->body->size()) {
    sink->overflowed = true;
    return 0;
  }
  sink->body->append(data, n);
  return n;
}

bool given(const HttpHeaders& headers, std::string_view name) {
  for (const auto& header : headers)
    if (same_name(header.first, name)) return true;
  return false;
}

// The caller's headers, then empty ones that keep curl from adding its own.
List header_list(const HttpHeaders& headers) {
  List list(nullptr, curl_slist_free_all);
  auto add = [&list](const std::string& line) {
    list.reset(curl_slist_append(list.release(), line.c_str()));
  };
  for (const auto& [name, value] : headers)
    add(value.empty() ? name + ";" : name + ": " + value);   // "Name;" sends an empty value
  for (const char* name : {"Accept", "Expect", "Content-Type"})
    if (!given(headers, name)) add(std::string(name) + ":");
  return list;
}

std::string failure_text(CURL* easy, CURLcode code) {
  std::string text = curl_easy_strerror(code);
  long os_error = 0;
  if (curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &os_error) == CURLE_OK && os_error)
    text.append(" (").append(std::strerror(int(os_error))).append(")");
  return text;
}

}  // namespace

void http_init() { curl_global_init(CURL_GLOBAL_DEFAULT); }

bool http_exchange(const HttpRequest& request, const HttpSettings& settings,
                   HttpResponse* response) {
  Easy easy(curl_easy_init(), curl_easy_cleanup);
  if (!easy) {
    response->failure = "cannot start an HTTP exchange";
    return false;
  }
  CURL* e = easy.get();
  List headers = header_list(request.headers);
  curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, kProtocols);
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols);
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, settings.max_redirects);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, settings.connect_timeout_seconds);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedLimit);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, settings.low_speed_time_seconds);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
  if (!settings.trusted_certificates.empty())
    curl_easy_setopt(e, CURLOPT_CAINFO, settings.trusted_certificates.c_str());
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  if (request.method == "HEAD") {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else if (request.method != "GET") {
    // Every other method sends a body, empty when none is given (Content-Length: 0).
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, request.body.data());
    if (request.method != "POST")
      curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &response->headers);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, on_body);
  BodySink sink{&response->body, settings.max_body_bytes, false};
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &sink);
  const CURLcode code = curl_easy_perform(e);
  if (code != CURLE_OK) {
    response->failure = sink.overflowed ? "Response body too large" : failure_text(e, code);
    return false;
  }
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &response->status);
  return true;
}

}  // namespace xol::platform
