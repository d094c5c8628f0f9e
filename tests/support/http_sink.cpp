#include "support/http_sink.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstdlib>

namespace {

struct WinsockSession {
  WinsockSession() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
  }
};

size_t ContentLength(const std::string& head) {
  std::string lower;
  for (char c : head) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  const auto at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return static_cast<size_t>(std::strtoull(head.c_str() + at + 17, nullptr, 10));
}

}  // namespace

HttpSink::HttpSink(uint16_t port, int status) : status_(status) {
  static WinsockSession session;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return;
  BOOL reuse = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s, 16) != 0) {
    ::closesocket(s);
    return;
  }
  listener_ = s;
  thread_ = std::thread([this] { Serve(); });
}

HttpSink::~HttpSink() {
  stopping_ = true;
  if (listening()) ::closesocket(static_cast<SOCKET>(listener_));
  if (thread_.joinable()) thread_.join();
}

void HttpSink::Serve() {
  for (;;) {
    SOCKET client = ::accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (client == INVALID_SOCKET) {
      if (stopping_) return;
      continue;
    }
    Handle(client);
    ::closesocket(client);
  }
}

void HttpSink::Handle(uintptr_t socket) {
  const SOCKET client = static_cast<SOCKET>(socket);
  DWORD timeout = 5000;
  ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
  std::string data;
  char buffer[16384];
  size_t headEnd = std::string::npos;
  while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
    const int got = ::recv(client, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    data.append(buffer, static_cast<size_t>(got));
  }
  SinkRequest request;
  request.head = data.substr(0, headEnd + 2);
  request.request_line = request.head.substr(0, request.head.find("\r\n"));
  const size_t length = ContentLength(request.head);
  request.body = data.substr(headEnd + 4);
  while (request.body.size() < length) {
    const int got = ::recv(client, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    request.body.append(buffer, static_cast<size_t>(got));
  }
  const int status = status_;
  // Only a request that was answered 2xx counts as received.
  if (status >= 200 && status <= 299) {
    std::lock_guard<std::mutex> hold(mutex_);
    requests_.push_back(request);
  }
  const std::string reply = "HTTP/1.1 " + std::to_string(status) +
                            " Test\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  ::send(client, reply.data(), static_cast<int>(reply.size()), 0);
}

std::vector<SinkRequest> HttpSink::requests() {
  std::lock_guard<std::mutex> hold(mutex_);
  return requests_;
}

bool HttpSink::WaitFor(const std::function<bool(const std::vector<SinkRequest>&)>& done, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (done(requests())) return true;
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}
