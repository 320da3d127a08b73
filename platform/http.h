// One HTTP exchange through libcurl, the transport behind the runtime's HTTP client.
//
// The exchange is synchronous on the calling thread, never through signals (NOSIGNAL), over
// HTTP/1.1 without asking for compressed bodies. Redirects are followed. Only the headers the
// caller gives go on the wire besides Host and Content-Length: curl's own Accept, Expect and
// form Content-Type are suppressed. The response headers kept are those of the final response
// (after redirects and interim replies), split into names and values with every index checked.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace xol::platform {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// Limits of one exchange.
struct HttpSettings {
  long connect_timeout_seconds = 60;
  long low_speed_time_seconds = 30;   // abort when under 1 byte/s for this long
  long max_redirects = 10;
  size_t max_body_bytes = 0x7FFFFFFF;   // a longer body ends the exchange (the most a series holds)
  std::string trusted_certificates;   // a PEM file trusted instead of the system's; "" for those
};

struct HttpRequest {
  std::string method;   // GET, HEAD, POST, any other verb upper-cased
  std::string url;
  HttpHeaders headers;
  std::string body;     // sent by every method but GET and HEAD
};

struct HttpResponse {
  long status = 0;
  HttpHeaders headers;
  std::string body;
  std::string failure;   // why the exchange failed, when it did
};

// Starts libcurl's global state: once, at start-up, before any other thread exists.
void http_init();
// False, with `failure` set, when no response came.
bool http_exchange(const HttpRequest& request, const HttpSettings& settings,
                   HttpResponse* response);

}  // namespace xol::platform
