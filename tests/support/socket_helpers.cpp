#include "support/socket_helpers.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>

void EnsureWinsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

uintptr_t ListenOn(uint16_t port, int backlog, uint16_t* bound, uint32_t ip) {
  EnsureWinsock();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  BOOL reuse = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(ip);
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s, backlog) != 0) {
    ::closesocket(s);
    return ~uintptr_t{0};
  }
  int length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  *bound = ntohs(address.sin_port);
  return s;
}

namespace {

size_t ContentLength(const std::string& head) {
  std::string lower;
  for (char c : head) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  const auto at = lower.find("\r\ncontent-length:");
  return at == std::string::npos ? 0 : std::strtoull(head.c_str() + at + 17, nullptr, 10);
}

}  // namespace

std::string ReadHttpRequest(uintptr_t socket) {
  const SOCKET s = static_cast<SOCKET>(socket);
  std::string data;
  char buffer[65536];
  size_t end;
  while ((end = data.find("\r\n\r\n")) == std::string::npos) {
    const int got = ::recv(s, buffer, sizeof buffer, 0);
    if (got <= 0) return data;
    data.append(buffer, static_cast<size_t>(got));
  }
  const size_t want = end + 4 + ContentLength(data.substr(0, end + 2));
  while (data.size() < want) {
    const int got = ::recv(s, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    data.append(buffer, static_cast<size_t>(got));
  }
  return data;
}

bool SendAll(uintptr_t socket, const char* data, size_t size) {
  const SOCKET s = static_cast<SOCKET>(socket);
  while (size > 0) {
    const int n = ::send(s, data, static_cast<int>(size > (1u << 20) ? (1u << 20) : size), 0);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void AcceptLoop(uintptr_t listener, const std::atomic<bool>& stopping,
                const std::function<void(uintptr_t)>& handle) {
  for (;;) {
    SOCKET client = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    if (client == INVALID_SOCKET) {
      if (stopping) return;
      continue;
    }
    handle(client);
  }
}
