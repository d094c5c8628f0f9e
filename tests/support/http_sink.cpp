#include "support/http_sink.h"

#include <winsock2.h>

#include <chrono>

#include "support/socket_helpers.h"

HttpSink::HttpSink(uint16_t port, int status) : status_(status) {
  uint16_t bound = 0;
  listener_ = ListenOn(port, 16, &bound);
  if (listening()) thread_ = std::thread([this] { Serve(); });
}

HttpSink::~HttpSink() {
  stopping_ = true;
  if (listening()) ::closesocket(static_cast<SOCKET>(listener_));
  if (thread_.joinable()) thread_.join();
}

void HttpSink::Serve() {
  AcceptLoop(listener_, stopping_, [this](uintptr_t client) {
    Handle(client);
    ::closesocket(static_cast<SOCKET>(client));
  });
}

void HttpSink::Handle(uintptr_t socket) {
  const SOCKET client = static_cast<SOCKET>(socket);
  DWORD timeout = 5000;
  ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
  const std::string data = ReadHttpRequest(client);
  const size_t headEnd = data.find("\r\n\r\n");
  if (headEnd == std::string::npos) return;
  SinkRequest request;
  request.head = data.substr(0, headEnd + 2);
  request.request_line = request.head.substr(0, request.head.find("\r\n"));
  request.body = data.substr(headEnd + 4);
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
