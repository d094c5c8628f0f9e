#include "net/tcp_client.h"

#include <chrono>
#include <thread>

#include "endpoints.h"
#include "net/net_fixture.h"
#include "net/tcp_http.h"
#include "platform/encoding.h"
#include "support/http_sink.h"
#include "support/telemetry_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

class TestClient : public CTCPClient {
 public:
  void UseProxy(const ProxyChoice& choice) { proxy_ = choice; }
};

DnsTestServer::Handler AnswerLoopback() {
  return [](const std::vector<uint8_t>& query) {
    return std::vector<DnsDatagram>{{DnsReplyTo(query, {ARecord(127, 0, 0, 1)})}};
  };
}

// The names a DNS server was asked for, from its queries.
std::vector<std::string> AskedNames(DnsTestServer& server) {
  std::vector<std::string> names;
  for (const auto& q : server.queries()) {
    std::string name;
    for (size_t i = 12; i < q.size() && q[i] != 0; i += q[i] + 1) {
      if (!name.empty()) name += '.';
      name.append(reinterpret_cast<const char*>(&q[i + 1]), q[i]);
    }
    names.push_back(name);
  }
  return names;
}

// The network-check events received once `expected` of them are in, or after wait_ms.
std::vector<Json::Value> NetworkChecks(HttpSink& sink, size_t expected, int wait_ms = 15000) {
  std::vector<Json::Value> checks;
  sink.WaitFor([&](const auto& requests) {
    checks = EventsNamed(ReceivedRecords(requests), "vNetworkCheck");
    return checks.size() >= expected;
  }, wait_ms);
  return checks;
}

class TcpClientTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    ClearTelemetrySpool();
  }
};

}  // namespace

uint16_t ClosedPort() {
  EnsureWinsock();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ::closesocket(s);
  return ntohs(address.sin_port);
}

// The system resolver cannot find the name: the fallback resolver does, the client then names
// the address, and every later client asks the fallback resolver first.
TEST_F(TcpClientTest, DnsFallbackIsUsedRememberedAndReportedOnce) {
  HttpSink sink(endpoints::kTelemetryPort);
  DnsTestServer dns(endpoints::kDnsPort, AnswerLoopback());
  ScriptedHttpServer web;
  web.Add(Reply200("via fallback"));
  {
    CTCPHttp http("download.lumacut.test", web.port());
    EXPECT_EQ(http.host(), "127.0.0.1");
    EXPECT_EQ(http.resolution_mode(), 1);
    EXPECT_EQ(http.dns_server(), endpoints::kDnsServers[0]);
    EXPECT_EQ(http.Get("download.lumacut.test", "/x"), "via fallback");
  }
  {
    const auto settings = GetSharedSettings();
    CXMutexLock hold(settings->lock);
    EXPECT_EQ(settings->resolution_mode, 1);
    EXPECT_EQ(settings->dns_server, endpoints::kDnsServers[0]);
  }
  CTCPHttp next("localhost", web.port());
  EXPECT_EQ(next.resolution_mode(), 1);
  EXPECT_EQ(AskedNames(dns), (std::vector<std::string>{"download.lumacut.test", "localhost"}))
      << "the second client went to the fallback resolver first";

  const auto checks = NetworkChecks(sink, 1);
  ASSERT_EQ(checks.size(), 1u);
  const Json::Value& p = checks[0]["event"]["properties"];
  EXPECT_EQ(p["string"]["network_type"].asString(), WideToUtf8(L"DNS解析"));
  EXPECT_EQ(p["int"]["conn_type"].asInt(), 1);
  EXPECT_EQ(p["string"]["host_name"].asString(), endpoints::kDnsServers[0]);
}

TEST_F(TcpClientTest, TwoRacingFallbacksReportOnce) {
  HttpSink sink(endpoints::kTelemetryPort);
  DnsTestServer dns(endpoints::kDnsPort, AnswerLoopback());
  auto resolve = [](const char* name) { CTCPHttp http(name, 80); };
  std::thread a(resolve, "one.lumacut.test"), b(resolve, "two.lumacut.test");
  a.join();
  b.join();
  EXPECT_EQ(dns.queries().size(), 2u);
  EXPECT_EQ(NetworkChecks(sink, 1).size(), 1u);
  EXPECT_EQ(NetworkChecks(sink, 2, 1500).size(), 1u) << "no second report arrives";
}

TEST_F(TcpClientTest, UnresolvableEverywhere) {
  DnsTestServer dns(endpoints::kDnsPort, [](const auto&) { return std::vector<DnsDatagram>{}; });
  EXPECT_EQ(ErrorOf([] { CTCPHttp http("nowhere.lumacut.test", 80); }), "Can't resolve host name");
}

// Direct connection refused: the client turns to the system's proxy and records that choice;
// on the next failure of the same client it goes direct again.
TEST_F(TcpClientTest, RefusedDirectConnectionTriesTheSystemProxyThenDirectAgain) {
  HttpSink sink(endpoints::kTelemetryPort);
  ScriptedHttpServer web;
  web.Add(Reply200("through the tunnel"));
  const uint16_t closed = ClosedPort();
  auto proxy = std::make_unique<ConnectProxy>(ConnectProxy::Mode::kTunnel, false, web.port());
  SetSystemProxy("http=127.0.0.1:" + std::to_string(proxy->port()) + ";https=127.0.0.1:1");

  CTCPHttp http("127.0.0.1", closed);
  EXPECT_EQ(http.Get("127.0.0.1", "/file"), "through the tunnel");
  EXPECT_EQ(http.connect_failures(), 1);
  EXPECT_EQ(http.proxy().kind, 1);
  EXPECT_EQ(proxy->connect_lines(),
            (std::vector<std::string>{"CONNECT 127.0.0.1:" + std::to_string(closed) + " HTTP/1.1"}));
  {
    const auto settings = GetSharedSettings();
    CXMutexLock hold(settings->lock);
    EXPECT_EQ(settings->proxy.kind, 1);
    EXPECT_EQ(settings->proxy.port, proxy->port());
  }
  const auto checks = NetworkChecks(sink, 1);
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_EQ(checks[0]["event"]["properties"]["string"]["network_type"].asString(),
            WideToUtf8(L"网络代理"));
  EXPECT_EQ(checks[0]["event"]["properties"]["int"]["conn_type"].asInt(), 1);

  proxy.reset();  // the remembered proxy is gone: the second failure goes direct
  EXPECT_EQ(ErrorOf([&] { http.Connect(); }), "Connect failed");
  EXPECT_EQ(http.connect_failures(), 2);
  EXPECT_EQ(http.proxy().kind, 0);
}

TEST_F(TcpClientTest, NoSystemProxyMeansDirectAgain) {
  CTCPHttp http("127.0.0.1", ClosedPort());
  EXPECT_EQ(ErrorOf([&] { http.Connect(); }), "Connect failed");
  EXPECT_EQ(http.connect_failures(), 1);
  EXPECT_EQ(http.proxy().kind, 0);
}

TEST_F(TcpClientTest, ProxyFailures) {
  ConnectProxy refusing(ConnectProxy::Mode::kRefuse407);
  ConnectProxy short_reply(ConnectProxy::Mode::kShortReply);
  const struct {
    const char* name;
    ProxyChoice choice;
    const char* error;
  } cases[] = {
      {"407", {1, "127.0.0.1", refusing.port()}, "Proxy failed"},
      {"short reply", {1, "127.0.0.1", short_reply.port()}, "Proxy failed"},
      {"unknown kind", {2, "127.0.0.1", refusing.port()}, "Proxy not support"},
      {"nothing listening", {1, "127.0.0.1", ClosedPort()}, "Can't connect proxy server"},
      {"proxy host unknown", {1, "proxy.nowhere.lumacut.test", 3128}, "Can't resolve proxy host"},
  };
  for (const auto& c : cases) {
    TestClient client;
    client.SetTarget("127.0.0.1", 80);
    client.UseProxy(c.choice);
    EXPECT_EQ(ErrorOf([&] { client.ConnectSocket(); }), c.error) << c.name;
  }
}

TEST_F(TcpClientTest, ProxyThatDoesNotAcceptTimesOutAfterOneSecond) {
  ConnectProxy stalled(ConnectProxy::Mode::kTunnel, true);
  TestClient client;
  client.SetTarget("127.0.0.1", 80);
  client.UseProxy({1, "127.0.0.1", stalled.port()});
  const auto start = Clock::now();
  EXPECT_EQ(ErrorOf([&] { client.ConnectSocket(); }), "Can't connect proxy server");
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GT(seconds, 0.8);
  EXPECT_LT(seconds, 3.0);
}

// A time-out set before any socket exists is applied when the connection is made.
TEST_F(TcpClientTest, TimeoutSetBeforeTheSocketExists) {
  ScriptedHttpServer web;
  ScriptedReply slow = Reply200("late");
  slow.stall_ms = 3000;
  web.Add(slow);
  CTCPHttp http("127.0.0.1", web.port());
  http.SetReceiveTimeout(300);
  const auto start = Clock::now();
  EXPECT_EQ(ErrorOf([&] { http.Get("127.0.0.1", "/slow"); }), "socket recv failed");
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 2.0);
}
