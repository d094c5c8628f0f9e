// The program's blocking TCP client: resolves its host (system resolver, else the fallback
// resolver, which then sticks for the process), connects directly or through an HTTP proxy's
// CONNECT tunnel, alternating between the two after failures. One owner thread per client.
// Every failure throws std::runtime_error with a short English message.
#pragma once

#include <cstdint>
#include <string>

#include "net/proxy_choice.h"
#include "net/winsock.h"

class CTCPClient {
 public:
  CTCPClient() = default;
  virtual ~CTCPClient();
  CTCPClient(const CTCPClient&) = delete;
  CTCPClient& operator=(const CTCPClient&) = delete;

  // Resolves host with the process's current resolver choice; when that fails, through the
  // fallback resolver, and records the fallback for every later client.
  void SetTarget(const std::string& host, uint16_t port);
  void ResolveHost(const std::string& host, uint16_t port);
  // Milliseconds; -1 leaves the system default. Applied at once when connected, else at the
  // next connect.
  void SetReceiveTimeout(int32_t ms);
  void SetSendTimeout(int32_t ms);
  // Connects with the process's proxy choice; after a failure retries once with the other
  // choice (system proxy on odd failures, direct on even ones) and records what worked.
  void Connect();
  void ConnectSocket();
  bool OpenProxyTunnel();
  void CloseSocket() { socket_.reset(); }

  const std::string& host() const { return host_; }
  uint32_t address() const { return address_; }
  uint16_t port() const { return port_; }
  const ProxyChoice& proxy() const { return proxy_; }
  int32_t resolution_mode() const { return resolution_mode_; }
  const std::string& dns_server() const { return dns_server_; }
  int32_t connect_failures() const { return connect_failures_; }
  SOCKET socket() const { return socket_.get(); }

 protected:
  void ConnectDirect();
  void ConnectToProxy();
  void ApplyTimeouts();

  std::string host_;
  uint32_t address_ = 0xFFFFFFFFu;  // network order; all ones until resolved
  uint16_t port_ = 0;
  uint16_t network_port_ = 0xFFFF;
  int32_t receive_timeout_ = -1;
  int32_t send_timeout_ = -1;
  int32_t connect_failures_ = 0;
  UniqueSocket socket_;
  ProxyChoice proxy_;
  int32_t resolution_mode_ = 0;
  std::string dns_server_;
};
