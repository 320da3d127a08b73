// The HTTP transport against servers on 127.0.0.1: a raw socket server in a thread for exact
// replies (interim and redirect replies, odd header lines, a server that stalls), and the
// language tests' fixture for HTTPS with a certificate that is trusted on purpose.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/http.h"

namespace xol::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Answers each connection with the next canned reply, then closes it; a reply ending in
// kStall is sent without that marker and the connection is held open until the server ends.
class RawServer {
 public:
  static constexpr const char* kStall = "<stall>";

  explicit RawServer(std::vector<std::string> replies) : replies_(std::move(replies)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~RawServer() {
    done_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
  }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  void serve() {
    for (const std::string& reply : replies_) {
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::read(client, buffer, sizeof buffer);
        if (n <= 0) break;
        request.append(buffer, size_t(n));
      }
      const bool stall = reply.ends_with(kStall);
      const std::string sent = stall ? reply.substr(0, reply.size() - strlen(kStall)) : reply;
      (void)!::write(client, sent.data(), sent.size());
      while (stall && !done_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ::close(client);
    }
  }

  std::vector<std::string> replies_;
  int listener_;
  int port_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

HttpResponse get(const std::string& url, const HttpSettings& settings = {}) {
  HttpResponse response;
  http_exchange({"GET", url, {}, {}}, settings, &response);
  return response;
}

TEST(HttpTransport, KeepsOnlyTheFinalRepliesHeadersSplitSafely) {
  RawServer server({
      "HTTP/1.1 302 Found\r\nX-Old: gone\r\nLocation: /next\r\nContent-Length: 0\r\n"
      "Connection: close\r\n\r\n",
      "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nX-Tight:1\r\nX-Spaced:   two words  \r\n"
      "X-Empty:\r\nX-Colons: a:b:c\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok",
  });
  const HttpResponse response = get(server.url("/first"));
  ASSERT_EQ(response.failure, "");
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "ok");
  const HttpHeaders expected = {{"X-Tight", "1"},        {"X-Spaced", "two words"},
                                {"X-Empty", ""},         {"X-Colons", "a:b:c"},
                                {"Content-Length", "2"}, {"Connection", "close"}};
  EXPECT_EQ(response.headers, expected);
}

TEST(HttpTransport, AStallingServerEndsTheExchangeAfterTheLowSpeedTime) {
  RawServer server({std::string("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n") +
                    RawServer::kStall});
  HttpSettings settings;
  settings.low_speed_time_seconds = 1;
  const auto start = Clock::now();
  const HttpResponse response = get(server.url("/"), settings);
  EXPECT_EQ(response.failure, "Timeout was reached");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
}

TEST(HttpTransport, ABodyBeyondTheLimitEndsTheExchange) {
  const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\n";
  RawServer server({reply + "0123456789", reply + "0123456789"});
  HttpSettings settings;
  settings.max_body_bytes = 10;
  EXPECT_EQ(get(server.url("/"), settings).body, "0123456789");
  settings.max_body_bytes = 9;
  EXPECT_EQ(get(server.url("/"), settings).failure, "Response body too large");
}

TEST(HttpTransport, RefusedConnectionGivesTheOsReason) {
  std::string url;
  { RawServer closed({}); url = closed.url("/"); }
  EXPECT_EQ(get(url).failure, "Couldn't connect to server (Connection refused)");
}

// HTTPS through tests/xol/http.fixture: refused with the system's certificates, accepted
// when the server's own certificate is the one trusted.
TEST(HttpTransport, SelfSignedCertificateIsRefusedUnlessTrusted) {
  namespace fs = std::filesystem;
  const fs::path fixture = fs::path(XOL_SOURCE_DIR) / "tests/xol/http.fixture";
  const fs::path scratch = fs::temp_directory_path() / ("xol-http-" + std::to_string(getpid()));
  fs::create_directories(scratch);
  const pid_t child = fork();
  if (child == 0) {
    execl(fixture.c_str(), fixture.c_str(), scratch.c_str(), nullptr);
    _exit(127);
  }
  for (int i = 0; i < 300 && !fs::exists(scratch / "ready"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::string base;
  std::ifstream(scratch / "https-base") >> base;
  const HttpResponse refused = get(base + "missing");
  HttpSettings trusting;
  trusting.trusted_certificates = (scratch / "cert.pem").string();
  const HttpResponse accepted = get(base + "missing", trusting);
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  fs::remove_all(scratch);
  EXPECT_EQ(refused.failure, "SSL peer certificate or SSH remote key was not OK");
  EXPECT_EQ(accepted.failure, "");
  EXPECT_EQ(accepted.status, 404);
  EXPECT_EQ(accepted.body, "nf");
}

}  // namespace
}  // namespace xol::platform
