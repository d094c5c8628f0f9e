#include "net/dns_resolver.h"

#include <chrono>

#include "endpoints.h"
#include "net/net_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

DnsTestServer::Handler Answer(std::vector<DnsRecord> records) {
  return [records](const std::vector<uint8_t>& query) {
    return std::vector<DnsDatagram>{{DnsReplyTo(query, records)}};
  };
}

class DnsResolverTest : public NetTest {};

}  // namespace

TEST_F(DnsResolverTest, AsksTheGivenServerWithTheQueryOfTheName) {
  DnsTestServer server(endpoints::kDnsPort, Answer({ARecord(127, 0, 0, 9)}));
  DnsAnswer answer;
  ASSERT_EQ(QueryDnsA(&answer, "127.0.0.1", "abc.defghij.klm"), 0);
  EXPECT_EQ(answer.count, 1);
  EXPECT_EQ(answer.addresses[0], htonl(0x7F000009));
  ASSERT_EQ(server.queries().size(), 1u);
  EXPECT_EQ(server.queries()[0].size(), 33u);  // 17 + 16 for labels of 3, 7 and 3
}

TEST_F(DnsResolverTest, AnswerTable) {
  std::vector<DnsRecord> many;
  for (int i = 0; i < 25; ++i) many.push_back(ARecord(10, 0, 0, static_cast<uint8_t>(i)));
  const struct {
    const char* name;
    std::vector<DnsRecord> records;
    int result;
    int count;
  } cases[] = {
      {"CNAME then two A", {{5, "cdn.example.test"}, ARecord(1, 2, 3, 4), ARecord(5, 6, 7, 8)}, 0, 2},
      {"25 answers keep 20", many, 0, 20},
      {"no answers", {}, -1, 0},
      {"only CNAME", {{5, "a.b"}}, -1, 0},
  };
  for (const auto& c : cases) {
    DnsTestServer server(endpoints::kDnsPort, Answer(c.records));
    DnsAnswer answer;
    EXPECT_EQ(QueryDnsA(&answer, "127.0.0.1", "www.lumacut.test"), c.result) << c.name;
    EXPECT_EQ(answer.count, c.count) << c.name;
  }
  DnsTestServer server(endpoints::kDnsPort,
                       Answer({{5, "x.y"}, ARecord(1, 2, 3, 4), ARecord(5, 6, 7, 8)}));
  DnsAnswer answer;
  ASSERT_EQ(QueryDnsA(&answer, "127.0.0.1", "www.lumacut.test"), 0);
  EXPECT_EQ(answer.addresses[0], htonl(0x01020304));
  EXPECT_EQ(answer.addresses[1], htonl(0x05060708));
}

// A forged datagram (other id, or from another port) is ignored: the real answer still counts,
// and without one the query times out.
TEST_F(DnsResolverTest, RepliesWithAnotherIdOrSourceAreIgnored) {
  DnsTestServer mixed(endpoints::kDnsPort, [](const std::vector<uint8_t>& query) {
    return std::vector<DnsDatagram>{
        {DnsReplyTo(query, {ARecord(6, 6, 6, 6)}, 1)},
        {DnsReplyTo(query, {ARecord(6, 6, 6, 7)}), true},
        {DnsReplyTo(query, {ARecord(127, 0, 0, 5)})},
    };
  });
  DnsAnswer answer;
  ASSERT_EQ(QueryDnsA(&answer, "127.0.0.1", "www.lumacut.test"), 0);
  EXPECT_EQ(answer.count, 1);
  EXPECT_EQ(answer.addresses[0], htonl(0x7F000005));
}

TEST_F(DnsResolverTest, SilenceForgeriesAndGarbageFailAfterOneWait) {
  const struct {
    const char* name;
    DnsTestServer::Handler handler;
  } cases[] = {
      {"no reply", [](const auto&) { return std::vector<DnsDatagram>{}; }},
      {"wrong id only",
       [](const auto& q) { return std::vector<DnsDatagram>{{DnsReplyTo(q, {ARecord(6, 6, 6, 6)}, 7)}}; }},
      {"other port only",
       [](const auto& q) { return std::vector<DnsDatagram>{{DnsReplyTo(q, {ARecord(6, 6, 6, 6)}), true}}; }},
  };
  for (const auto& c : cases) {
    DnsTestServer server(endpoints::kDnsPort, c.handler);
    DnsAnswer answer;
    const auto start = Clock::now();
    EXPECT_EQ(QueryDnsA(&answer, "127.0.0.1", "www.lumacut.test"), -1) << c.name;
    const auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GT(seconds, 2.5) << c.name;
    EXPECT_LT(seconds, 6.0) << c.name;
  }
  DnsTestServer garbage(endpoints::kDnsPort, [](const std::vector<uint8_t>& q) {
    std::vector<uint8_t> reply = DnsReplyTo(q, {ARecord(1, 2, 3, 4)});
    reply.resize(q.size() + 5);  // the answer is cut off
    return std::vector<DnsDatagram>{{reply}};
  });
  DnsAnswer answer;
  EXPECT_EQ(QueryDnsA(&answer, "127.0.0.1", "www.lumacut.test"), -1);
}

TEST_F(DnsResolverTest, PointerLoopFailsWithoutHanging) {
  DnsTestServer server(endpoints::kDnsPort, [](const std::vector<uint8_t>& query) {
    std::vector<uint8_t> reply = DnsReplyTo(query, {ARecord(1, 2, 3, 4)});
    // The answer's owner name points at itself.
    const size_t owner = query.size();
    reply[owner] = static_cast<uint8_t>(0xC0 | (owner >> 8));
    reply[owner + 1] = static_cast<uint8_t>(owner & 0xFF);
    return std::vector<DnsDatagram>{{reply}};
  });
  DnsAnswer answer;
  EXPECT_EQ(QueryDnsA(&answer, "127.0.0.1", "www.lumacut.test"), -1);
  EXPECT_EQ(QueryDnsA(nullptr, "127.0.0.1", "x"), -1);
  EXPECT_EQ(QueryDnsA(&answer, "127.0.0.1", nullptr), -1);
}
