#include "net/proxy_list.h"

#include <gtest/gtest.h>

TEST(ParseProxyList, LastPlainOrHttpEntryWins) {
  struct Case {
    std::string list;
    int32_t kind;
    std::string host;
    uint16_t port;
  } cases[] = {
      {"h:8080", 1, "h", 8080},
      {"http=a:1;http=b:2", 1, "b", 2},
      {"http=h:8080;https=h:8443", 1, "h", 8080},
      {"https=h:1", 0, "", 0},
      {"socks=h:1;http=p:3128", 1, "p", 3128},
      {"http=p:3128;socks=h:1", 1, "p", 3128},
      {"HTTP=h:1", 0, "", 0},           // the scheme is case-sensitive
      {"=h:81", 1, "h", 81},            // an empty scheme counts as none
      {"http=:80", 0, "", 0},           // no host: skipped
      {"a:1;http=:80", 1, "a", 1},
      {"h", 1, "h", 0},                 // no port
      {"h:", 1, "h", 0},
      {"h:port", 1, "h", 0},
      {"h:8080x", 1, "h", 8080},
      {"h:65535", 1, "h", 65535},
      {"h:65536", 1, "h", 0},           // out of range names no port
      {"h:-1", 1, "h", 0},
      {"h:99999999999999999999", 1, "h", 0},
      {";;h:1;;", 1, "h", 1},
      {"", 0, "", 0},
      {";", 0, "", 0},
  };
  for (const auto& c : cases) {
    const ProxyChoice choice = ParseProxyList(c.list);
    EXPECT_EQ(choice.kind, c.kind) << c.list;
    EXPECT_EQ(choice.host, c.host) << c.list;
    EXPECT_EQ(choice.port, c.port) << c.list;
  }
}
