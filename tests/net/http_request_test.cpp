#include "net/http_request.h"

#include <gtest/gtest.h>

TEST(HttpRequest, ExactHeads) {
  struct Case {
    std::string actual, expected;
  } cases[] = {
      {GetRequestHead("example.test", "/a?b=1"),
       "GET /a?b=1 HTTP/1.1\r\nHost: example.test\r\nConnection: close\r\n\r\n"},
      {GetRequestHead("", "/"), "GET / HTTP/1.1\r\nConnection: close\r\n\r\n"},
      {HeadRequestHead("h:8080", "/f.exe"),
       "HEAD /f.exe HTTP/1.1\r\nHost:h:8080\r\nAccept:*/*\r\n"
       "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\nConnection:close\r\n\r\n"},
      {HeadRequestHead("", "/f.exe"),
       "HEAD /f.exe HTTP/1.1\r\nAccept:*/*\r\n"
       "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\nConnection:close\r\n\r\n"},
      {PostRequestHead("r.test", "/report", "-----------------------------7da1f4c300560", 1234),
       "POST /report HTTP/1.1\r\nHost: r.test\r\n"
       "Content-Type: multipart/form-data; boundary=---------------------------7da1f4c300560\r\n"
       "Content-Length: 1234\r\nConnection: close\r\n\r\n"},
      {PostRequestHead("", "/", "--b", 0),
       "POST / HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\n"
       "Content-Length: 0\r\nConnection: close\r\n\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}
