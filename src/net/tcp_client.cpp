#include "net/tcp_client.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "app/shared_settings.h"
#include "endpoints.h"
#include "net/dns_resolver.h"
#include "net/dotted_quad.h"
#include "net/proxy_detect.h"
#include "platform/text.h"

namespace {

[[noreturn]] void Fail(const char* message) { throw std::runtime_error(message); }

void CopyNetworkChoices(int32_t* mode, std::string* server) {
  const auto settings = GetSharedSettings();
  if (!settings) return;
  CXMutexLock hold(settings->lock);
  *mode = settings->resolution_mode;
  *server = settings->dns_server;
}

ProxyChoice SharedProxyChoice() {
  const auto settings = GetSharedSettings();
  if (!settings) return ProxyChoice();
  CXMutexLock hold(settings->lock);
  return settings->proxy;
}

}  // namespace

CTCPClient::~CTCPClient() = default;

void CTCPClient::SetTarget(const std::string& host, uint16_t port) {
  CopyNetworkChoices(&resolution_mode_, &dns_server_);
  try {
    ResolveHost(host, port);
  } catch (...) {
    resolution_mode_ = 1;
    dns_server_ = endpoints::kDnsServers[0];
    ResolveHost(host, port);
    RecordDnsFallback(resolution_mode_, dns_server_);
  }
}

void CTCPClient::ResolveHost(const std::string& host, uint16_t port) {
  host_ = host;
  port_ = port;
  const hostent* entry = nullptr;
  if (resolution_mode_ == 0) {
    entry = ::gethostbyname(host.c_str());
  } else if (resolution_mode_ == 1) {
    DnsAnswer answer;
    if (QueryDnsA(&answer, dns_server_.c_str(), host.c_str()) == 0 && answer.count > 0) {
      char dotted[256] = {};
      if (FormatDottedQuad(answer.addresses[0], dotted, sizeof dotted)) {
        // A dotted quad resolves without a lookup; the client then names the address itself.
        entry = ::gethostbyname(dotted);
        host_ = dotted;
      }
    }
  } else {
    Fail("Can't resolve host name");
  }
  if (!entry || !entry->h_addr_list || !entry->h_addr_list[0]) Fail("Can't resolve host name");
  std::memcpy(&address_, entry->h_addr_list[0], 4);
  network_port_ = htons(port);
}

void CTCPClient::SetReceiveTimeout(int32_t ms) {
  if (ms == receive_timeout_) return;
  receive_timeout_ = ms;
  if (socket_.valid()) {
    ::setsockopt(socket_.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), 4);
  }
}

void CTCPClient::SetSendTimeout(int32_t ms) {
  if (ms == send_timeout_) return;
  send_timeout_ = ms;
  if (socket_.valid()) {
    ::setsockopt(socket_.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), 4);
  }
}

void CTCPClient::Connect() {
  proxy_ = SharedProxyChoice();
  try {
    ConnectSocket();
    return;
  } catch (...) {
    ++connect_failures_;
    if (connect_failures_ % 2 == 0) {
      proxy_.kind = 0;
    } else {
      proxy_ = DetectSystemProxy("http://" + host_);
    }
  }
  ConnectSocket();
  RecordProxyChoice(proxy_);
}

void CTCPClient::ApplyTimeouts() {
  if (receive_timeout_ != -1) {
    ::setsockopt(socket_.get(), SOL_SOCKET, SO_RCVTIMEO,
                 reinterpret_cast<const char*>(&receive_timeout_), 4);
  }
  if (send_timeout_ != -1) {
    ::setsockopt(socket_.get(), SOL_SOCKET, SO_SNDTIMEO,
                 reinterpret_cast<const char*>(&send_timeout_), 4);
  }
}

void CTCPClient::ConnectDirect() {
  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = network_port_;
  target.sin_addr.s_addr = address_;
  const auto* address = reinterpret_cast<const sockaddr*>(&target);
  if (::connect(socket_.get(), address, sizeof target) != 0 &&
      ::connect(socket_.get(), address, sizeof target) != 0) {
    Fail("Connect failed");
  }
}

void CTCPClient::ConnectToProxy() {
  u_long nonBlocking = 1;
  if (::ioctlsocket(socket_.get(), FIONBIO, &nonBlocking) != 0) Fail("Can't set not block");
  const hostent* proxyHost = ::gethostbyname(proxy_.host.c_str());
  // A proxy host that does not resolve fails like any other proxy connect.
  if (!proxyHost || !proxyHost->h_addr_list || !proxyHost->h_addr_list[0]) {
    Fail("Can't resolve proxy host");
  }
  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(proxy_.port);
  std::memcpy(&target.sin_addr, proxyHost->h_addr_list[0], 4);
  if (::connect(socket_.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(socket_.get(), &writable);
    timeval oneSecond = {1, 0};
    if (::select(0, nullptr, &writable, nullptr, &oneSecond) <= 0) {
      Fail("Can't connect proxy server");
    }
    int error = 0;
    int length = sizeof error;
    ::getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    if (error != 0) Fail("Can't connect proxy server");
  }
  u_long blocking = 0;
  if (::ioctlsocket(socket_.get(), FIONBIO, &blocking) != 0) Fail("Can't set block");
}

void CTCPClient::ConnectSocket() {
  socket_.reset(::socket(AF_INET, SOCK_STREAM, 0));
  if (!socket_.valid()) Fail("Can't create socket");
  if (proxy_.kind == 0) {
    ConnectDirect();
  } else {
    ConnectToProxy();
  }
  ApplyTimeouts();
  if (proxy_.kind == 1) {
    if (!OpenProxyTunnel()) Fail("Proxy failed");
  } else if (proxy_.kind != 0) {
    Fail("Proxy not support");
  }
}

bool CTCPClient::OpenProxyTunnel() {
  char request[1024] = {};
  std::snprintf(request, sizeof request, "CONNECT %s:%d HTTP/1.1\r\n\r\n", host_.c_str(),
                static_cast<int>(port_));
  ::send(socket_.get(), request, static_cast<int>(std::strlen(request)), 0);
  char reply[1024] = {};
  if (::recv(socket_.get(), reply, 1023, 0) < 1) return false;
  const std::string text = reply;
  const std::string status = text.size() > 11 ? text.substr(9, 3) : std::string();
  return !status.empty() && ParseInt64(status) == 200;
}
