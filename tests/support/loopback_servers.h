// Loopback servers for the network tests, each on its own thread in the test process:
// a scripted HTTP server, a DNS server and a CONNECT proxy. They listen on 127.0.0.1 only.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/socket_helpers.h"


// One reply of the scripted HTTP server, with the faults to apply while sending it.
struct ScriptedReply {
  std::string bytes;              // the raw reply: head and body as they go on the wire
  std::vector<size_t> splits;     // send in pieces cut at these offsets, pausing between them
  size_t close_after = SIZE_MAX;  // send only this many bytes, then close
  int stall_ms = 0;               // wait before sending anything
  bool reset = false;             // abort the connection (RST) instead of replying
};

class ScriptedHttpServer {
 public:
  // port 0: any free port; ip: a loopback address in host order (127.0.0.1 by default).
  explicit ScriptedHttpServer(uint16_t port = 0, uint32_t ip = 0x7F000001);
  ~ScriptedHttpServer();
  uint16_t port() const { return port_; }
  // Replies are used in order, one per connection; without one the server answers 404.
  void Add(ScriptedReply reply);
  // Every request as received: the head and as many body bytes as its Content-Length names.
  std::vector<std::string> requests();

 private:
  void Serve();
  void Handle(uintptr_t client);
  uintptr_t listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::deque<ScriptedReply> replies_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// Helpers for common replies.
ScriptedReply Reply200(const std::string& body);
ScriptedReply ReplyChunked(const std::vector<std::string>& chunks);

// Answers DNS queries on 127.0.0.1:port with whatever the handler returns for each query: a
// list of datagrams, each sent from the server's socket, or from a second socket when
// `from_other_port` is set.
struct DnsDatagram {
  std::vector<uint8_t> bytes;
  bool from_other_port = false;
};
class DnsTestServer {
 public:
  using Handler = std::function<std::vector<DnsDatagram>(const std::vector<uint8_t>& query)>;
  DnsTestServer(uint16_t port, Handler handler);
  ~DnsTestServer();
  std::vector<std::vector<uint8_t>> queries();

 private:
  void Serve();
  uintptr_t socket_;
  uintptr_t other_;
  Handler handler_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<std::vector<uint8_t>> queries_;
  std::thread thread_;
};

// A DNS answer record for DnsReplyTo: type 1 with a 4-byte address, or type 5 with a name.
struct DnsRecord {
  uint16_t type;
  std::string data;  // type 1: 4 address bytes; type 5: dotted name
};
// A reply to query with the given answers (owner names point at the question); id_delta
// changes the reply's id.
std::vector<uint8_t> DnsReplyTo(const std::vector<uint8_t>& query,
                                const std::vector<DnsRecord>& answers, int id_delta = 0);
DnsRecord ARecord(uint8_t a, uint8_t b, uint8_t c, uint8_t d);

// An HTTP proxy for CONNECT: answers 200 and relays to the named target, or answers 407, or
// answers with a short line; with `stall_accept` its backlog is full so connections hang.
class ConnectProxy {
 public:
  enum class Mode { kTunnel, kRefuse407, kShortReply };
  // relay_port: when not 0, tunnels go to 127.0.0.1:relay_port whatever the CONNECT line names.
  explicit ConnectProxy(Mode mode, bool stall_accept = false, uint16_t relay_port = 0);
  ~ConnectProxy();
  uint16_t port() const { return port_; }
  std::vector<std::string> connect_lines();

 private:
  void Serve();
  void Handle(uintptr_t client);
  Mode mode_;
  uint16_t relay_port_;
  uintptr_t listener_;
  std::vector<uintptr_t> fillers_;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<std::string> connect_lines_;
  std::vector<uintptr_t> relay_sockets_;  // shut down on destruction to end the relays
  std::vector<std::thread> relays_;
  std::thread thread_;
};

// The current user's proxy settings as WinHTTP reads them: a static list ("" for none) and an
// optional configuration script URL. Cleared by ClearSystemProxy.
void SetSystemProxy(const std::string& proxyList, const std::string& scriptUrl = "");
void ClearSystemProxy();
