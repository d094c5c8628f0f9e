// The program's HTTP/1.1 client over CTCPClient: one connection per request, no redirects, no
// TLS. Failures throw std::runtime_error with a short English message.
#pragma once

#include <string>
#include <vector>

#include "net/multipart_form.h"
#include "net/tcp_client.h"

struct HeadReply {
  std::vector<std::string> lines;  // the status line first
  std::string status;              // "200", "302", ...; empty when the status line is short
};

class CTCPHttp : public CTCPClient {
 public:
  // Resolves host (throws "Can't resolve host name" when no resolver finds it).
  CTCPHttp(const std::string& host, uint16_t port);
  ~CTCPHttp() override;

  // The body of a 200 reply; "" for any other status (the body is then not read).
  std::string Get(const std::string& hostValue, const std::string& path);
  HeadReply Head(const std::string& hostValue, const std::string& path);
  // Sends the form as multipart/form-data and returns the reply's body whatever its status.
  std::string PostForm(const std::string& hostValue, const std::string& path, MultipartForm* form);

 private:
  void SendAll(const std::string& text);
  HeadReply ReadHeaders(int64_t* contentLength);
  std::string ReadBodyOf(const HeadReply& head, int64_t contentLength);
};
