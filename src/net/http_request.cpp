#include "net/http_request.h"

#include "platform/text.h"

std::string GetRequestHead(const std::string& host, const std::string& path) {
  std::string head = "GET " + path + " HTTP/1.1\r\n";
  if (!host.empty()) head += "Host: " + host + "\r\n";
  head += "Connection: close\r\n\r\n";
  return head;
}

std::string HeadRequestHead(const std::string& host, const std::string& path) {
  std::string head = "HEAD " + path + " HTTP/1.1\r\n";
  if (!host.empty()) head += "Host:" + host + "\r\n";
  head +=
      "Accept:*/*\r\n"
      "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
      "Connection:close\r\n"
      "\r\n";
  return head;
}

std::string PostRequestHead(const std::string& host, const std::string& path,
                            const std::string& boundary, int64_t contentLength) {
  // The body's delimiter lines are "--" + the declared boundary, so the header names it
  // without the first two dashes.
  const std::string declared = boundary.size() >= 2 ? boundary.substr(2) : std::string();
  std::string head = "POST " + path + " HTTP/1.1\r\n";
  if (!host.empty()) head += "Host: " + host + "\r\n";
  head += "Content-Type: multipart/form-data; boundary=" + declared + "\r\n";
  head += "Content-Length: " + FormatInt64(contentLength) + "\r\n";
  head += "Connection: close\r\n\r\n";
  return head;
}
