#include "info/backend_request.h"

#include "net/tcp_http.h"

std::string FetchFromBackend(const std::string& host, uint16_t port, const std::string& path) {
  try {
    CTCPHttp http(host, port);
    http.SetReceiveTimeout(5000);
    http.SetSendTimeout(5000);
    return http.Get(host, path);
  } catch (...) {
    return std::string();
  }
}
