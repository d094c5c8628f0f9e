#include "net/tcp_http.h"

#include "net/net_fixture.h"

namespace {

class TcpHttpTest : public NetTest {};

ScriptedReply Raw(const std::string& bytes) {
  ScriptedReply reply;
  reply.bytes = bytes;
  return reply;
}

ScriptedReply Reset() {
  ScriptedReply reply;
  reply.reset = true;
  return reply;
}

const std::string kBoundary = "-----------------------------7da1f4c300560";

// The request's Content-Length value and the bytes that followed its head.
std::pair<size_t, std::string> BodyOf(const std::string& request) {
  const size_t end = request.find("\r\n\r\n");
  const size_t at = request.find("Content-Length: ");
  return {static_cast<size_t>(std::stoull(request.substr(at + 16))), request.substr(end + 4)};
}

}  // namespace

TEST_F(TcpHttpTest, RequestsAreByteExact) {
  ScriptedHttpServer web;
  web.Add(Reply200("ok"));
  web.Add(Reply200(""));
  web.Add(Reply200(""));
  web.Add(Reply200("posted"));
  CTCPHttp http("127.0.0.1", web.port());
  EXPECT_EQ(http.Get("api.lumacut.test", "/a?b=c"), "ok");
  http.Head("dl.lumacut.test", "/setup.exe");
  http.Head("", "/nohost");
  MultipartForm form;
  AddFormField(&form, "b", "2");
  AddFormField(&form, "a", "first");
  AddFormField(&form, "a", "1");
  EXPECT_EQ(http.PostForm("report.lumacut.test", "/v1/install/tolmir", &form), "posted");

  const auto requests = web.requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0], "GET /a?b=c HTTP/1.1\r\nHost: api.lumacut.test\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(requests[1],
            "HEAD /setup.exe HTTP/1.1\r\nHost:dl.lumacut.test\r\nAccept:*/*\r\n"
            "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\nConnection:close\r\n\r\n");
  EXPECT_EQ(requests[2].find("Host"), std::string::npos);
  const std::string part = "Content-Disposition: form-data; name=\"";
  const std::string body = kBoundary + "\r\n" + part + "a\"\r\n\r\n1\r\n" + kBoundary + "\r\n" +
                           part + "b\"\r\n\r\n2\r\n" + kBoundary + "--\r\n";
  EXPECT_EQ(requests[3], "POST /v1/install/tolmir HTTP/1.1\r\nHost: report.lumacut.test\r\n"
                         "Content-Type: multipart/form-data; boundary=" + kBoundary.substr(2) +
                         "\r\nContent-Length: " + std::to_string(body.size()) +
                         "\r\nConnection: close\r\n\r\n" + body);
  const auto [length, sent] = BodyOf(requests[3]);
  EXPECT_EQ(length, sent.size());
}

// A form without fields still sends a well-formed multipart body: the closing line alone.
TEST_F(TcpHttpTest, EmptyFormSendsTheClosingBoundaryOnly) {
  ScriptedHttpServer web;
  web.Add(Reply200("{}"));
  CTCPHttp http("127.0.0.1", web.port());
  MultipartForm form;
  EXPECT_EQ(http.PostForm("h", "/p", &form), "{}");
  const auto [length, sent] = BodyOf(web.requests().at(0));
  EXPECT_EQ(sent, kBoundary + "--\r\n");
  EXPECT_EQ(length, sent.size());
}

TEST_F(TcpHttpTest, ReplyTable) {
  const struct {
    const char* name;
    ScriptedReply reply;
    const char* body;
    const char* error;
  } cases[] = {
      {"404 with a body", Raw("HTTP/1.1 404 Not Found\r\nContent-Length: 5\r\n\r\nerror"), "", ""},
      {"chunked five letters", ReplyChunked({"hello"}), "hello", ""},
      {"several chunks", ReplyChunked({"ab", "cde", std::string(300, 'z')}),
       nullptr, ""},
      {"length 0 then close", Raw("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"), "",
       "Server can't send data"},
      {"lower-case length is read as chunked",
       Raw("HTTP/1.1 200 OK\r\ncontent-length: 14\r\n\r\n5\r\nhello\r\n0\r\n\r\n"), "hello", ""},
      {"short body", Raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"), "",
       "Server can't send data"},
      {"bad chunk line", Raw("HTTP/1.1 200 OK\r\n\r\n123456789abc\r\n"), "",
       "Read body stream error"},
      {"reset", Reset(), "", "*"},
  };
  for (const auto& c : cases) {
    ScriptedHttpServer web;
    web.Add(c.reply);
    CTCPHttp http("127.0.0.1", web.port());
    std::string body;
    const std::string error = ErrorOf([&] { body = http.Get("h", "/"); });
    if (std::string(c.error) == "*") {
      EXPECT_NE(error, "") << c.name;
    } else {
      EXPECT_EQ(error, c.error) << c.name;
    }
    if (c.body) {
      EXPECT_EQ(body, c.body) << c.name;
    }
  }
}

// The head arrives in pieces cut inside the status line, a header and the blank line itself:
// no head byte becomes body and no body byte is lost.
TEST_F(TcpHttpTest, HeadSplitOverSeveralSends) {
  ScriptedHttpServer web;
  ScriptedReply reply = Reply200("0123456789");
  const size_t blank = reply.bytes.find("\r\n\r\n");
  reply.splits = {7, 20, blank + 1, blank + 3, blank + 6};
  web.Add(reply);
  CTCPHttp http("127.0.0.1", web.port());
  EXPECT_EQ(http.Get("h", "/"), "0123456789");
}

TEST_F(TcpHttpTest, HeadReadStopsAt4096Bytes) {
  ScriptedHttpServer web;
  web.Add(Raw("HTTP/1.1 302 Found\r\nX-Filler: " + std::string(5000, 'a') + "\r\n\r\n"));
  CTCPHttp http("127.0.0.1", web.port());
  const HeadReply head = http.Head("h", "/");
  EXPECT_EQ(head.status, "302");
  ASSERT_EQ(head.lines.size(), 2u);
  EXPECT_EQ(head.lines[0].size() + 2 + head.lines[1].size(), 4096u);
}

TEST_F(TcpHttpTest, LargeBodyInOneReceive) {
  ScriptedHttpServer web;
  std::string big(8 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 + (i >> 12));
  web.Add(Reply200(big));
  CTCPHttp http("127.0.0.1", web.port());
  EXPECT_TRUE(http.Get("h", "/big") == big);
}
