#include "support/loopback_servers.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstring>

namespace {

void Abort(SOCKET s) {
  linger hard = {1, 0};
  ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
  ::closesocket(s);
}

}  // namespace

// --- HTTP ---------------------------------------------------------------------------------

ScriptedHttpServer::ScriptedHttpServer(uint16_t port, uint32_t ip) {
  listener_ = ListenOn(port, 16, &port_, ip);
  thread_ = std::thread([this] { Serve(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
  stopping_ = true;
  ::closesocket(static_cast<SOCKET>(listener_));
  thread_.join();
}

void ScriptedHttpServer::Add(ScriptedReply reply) {
  std::lock_guard<std::mutex> hold(mutex_);
  replies_.push_back(std::move(reply));
}

std::vector<std::string> ScriptedHttpServer::requests() {
  std::lock_guard<std::mutex> hold(mutex_);
  return requests_;
}

void ScriptedHttpServer::Serve() {
  AcceptLoop(listener_, stopping_, [this](uintptr_t client) { Handle(client); });
}

void ScriptedHttpServer::Handle(uintptr_t socket) {
  const SOCKET client = static_cast<SOCKET>(socket);
  const std::string request = ReadHttpRequest(client);
  ScriptedReply reply;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    requests_.push_back(request);
    if (replies_.empty()) {
      reply.bytes = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    } else {
      reply = std::move(replies_.front());
      replies_.pop_front();
    }
  }
  if (reply.stall_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.stall_ms));
  if (reply.reset) {
    Abort(client);
    return;
  }
  const size_t limit = reply.close_after < reply.bytes.size() ? reply.close_after : reply.bytes.size();
  size_t at = 0;
  for (size_t cut : reply.splits) {
    if (cut <= at || cut > limit) continue;
    SendAll(client, reply.bytes.data() + at, cut - at);
    at = cut;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  SendAll(client, reply.bytes.data() + at, limit - at);
  ::shutdown(client, SD_SEND);
  // Drain until the client closes, so the close is orderly (FIN, not RST).
  char sink[4096];
  DWORD timeout = 2000;
  ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  while (::recv(client, sink, sizeof sink, 0) > 0) {
  }
  ::closesocket(client);
}

ScriptedReply Reply200(const std::string& body) {
  ScriptedReply reply;
  reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body;
  return reply;
}

ScriptedReply ReplyChunked(const std::vector<std::string>& chunks) {
  static const char kHex[] = "0123456789abcdef";
  ScriptedReply reply;
  reply.bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  for (const auto& chunk : chunks) {
    std::string size;
    for (size_t n = chunk.size(); n > 0; n /= 16) size.insert(size.begin(), kHex[n % 16]);
    reply.bytes += size + "\r\n" + chunk + "\r\n";
  }
  reply.bytes += "0\r\n\r\n";
  return reply;
}

// --- DNS ----------------------------------------------------------------------------------

DnsTestServer::DnsTestServer(uint16_t port, Handler handler) : handler_(std::move(handler)) {
  EnsureWinsock();
  auto udp = [](uint16_t p) {
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(p);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return s;
  };
  socket_ = udp(port);
  other_ = udp(0);
  thread_ = std::thread([this] { Serve(); });
}

DnsTestServer::~DnsTestServer() {
  stopping_ = true;
  ::closesocket(static_cast<SOCKET>(socket_));
  ::closesocket(static_cast<SOCKET>(other_));
  thread_.join();
}

std::vector<std::vector<uint8_t>> DnsTestServer::queries() {
  std::lock_guard<std::mutex> hold(mutex_);
  return queries_;
}

void DnsTestServer::Serve() {
  std::vector<char> buffer(65536);
  for (;;) {
    sockaddr_in from = {};
    int length = sizeof from;
    const int got = ::recvfrom(static_cast<SOCKET>(socket_), buffer.data(),
                               static_cast<int>(buffer.size()), 0,
                               reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0) {
      if (stopping_) return;
      continue;
    }
    const std::vector<uint8_t> query(buffer.begin(), buffer.begin() + got);
    {
      std::lock_guard<std::mutex> hold(mutex_);
      queries_.push_back(query);
    }
    for (const auto& datagram : handler_(query)) {
      const SOCKET out = static_cast<SOCKET>(datagram.from_other_port ? other_ : socket_);
      ::sendto(out, reinterpret_cast<const char*>(datagram.bytes.data()),
               static_cast<int>(datagram.bytes.size()), 0, reinterpret_cast<sockaddr*>(&from),
               length);
    }
  }
}

std::vector<uint8_t> DnsReplyTo(const std::vector<uint8_t>& query,
                                const std::vector<DnsRecord>& answers, int id_delta) {
  std::vector<uint8_t> reply = query;
  const uint16_t id = static_cast<uint16_t>((query[0] | (query[1] << 8)) + id_delta);
  reply[0] = static_cast<uint8_t>(id & 0xFF);
  reply[1] = static_cast<uint8_t>(id >> 8);
  reply[2] = 0x81;
  reply[3] = 0x80;
  reply[6] = static_cast<uint8_t>(answers.size() >> 8);
  reply[7] = static_cast<uint8_t>(answers.size() & 0xFF);
  for (const auto& answer : answers) {
    std::vector<uint8_t> data;
    if (answer.type == 1) {
      data.assign(answer.data.begin(), answer.data.end());
    } else {
      size_t start = 0;
      const std::string name = answer.data + ".";
      for (size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', start)) {
        data.push_back(static_cast<uint8_t>(dot - start));
        data.insert(data.end(), name.begin() + static_cast<long>(start), name.begin() + static_cast<long>(dot));
        start = dot + 1;
      }
      data.push_back(0);
    }
    const uint8_t fixed[] = {0xC0, 0x0C, 0, static_cast<uint8_t>(answer.type), 0, 1, 0, 0, 0x0E,
                             0x10, static_cast<uint8_t>(data.size() >> 8),
                             static_cast<uint8_t>(data.size() & 0xFF)};
    reply.insert(reply.end(), std::begin(fixed), std::end(fixed));
    reply.insert(reply.end(), data.begin(), data.end());
  }
  return reply;
}

DnsRecord ARecord(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return {1, std::string{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                         static_cast<char>(d)}};
}

// --- CONNECT proxy ------------------------------------------------------------------------

ConnectProxy::ConnectProxy(Mode mode, bool stall_accept, uint16_t relay_port)
    : mode_(mode), relay_port_(relay_port) {
  listener_ = ListenOn(0, stall_accept ? 0 : 16, &port_);
  if (stall_accept) {
    // Fill the accept queue with connections nobody accepts: later connects then hang in the
    // handshake, as with a proxy that is too slow to answer.
    for (int i = 0; i < 4; ++i) {
      SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      u_long nonBlocking = 1;
      ::ioctlsocket(s, FIONBIO, &nonBlocking);
      sockaddr_in address = {};
      address.sin_family = AF_INET;
      address.sin_port = htons(port_);
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
      fillers_.push_back(s);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return;
  }
  thread_ = std::thread([this] { Serve(); });
}

ConnectProxy::~ConnectProxy() {
  stopping_ = true;
  ::closesocket(static_cast<SOCKET>(listener_));
  for (auto s : fillers_) ::closesocket(static_cast<SOCKET>(s));
  if (thread_.joinable()) thread_.join();
  // A client may keep its tunnel open; closing the relay's sockets ends its blocked receives.
  {
    std::lock_guard<std::mutex> hold(mutex_);
    for (auto s : relay_sockets_) ::closesocket(static_cast<SOCKET>(s));
  }
  for (auto& relay : relays_) relay.join();
}

std::vector<std::string> ConnectProxy::connect_lines() {
  std::lock_guard<std::mutex> hold(mutex_);
  return connect_lines_;
}

void ConnectProxy::Serve() {
  AcceptLoop(listener_, stopping_, [this](uintptr_t client) { Handle(client); });
}

void ConnectProxy::Handle(uintptr_t socket) {
  const SOCKET client = static_cast<SOCKET>(socket);
  const std::string request = ReadHttpRequest(client);
  const std::string line = request.substr(0, request.find("\r\n"));
  {
    std::lock_guard<std::mutex> hold(mutex_);
    connect_lines_.push_back(line);
  }
  if (mode_ == Mode::kRefuse407) {
    const std::string reply =
        "HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n";
    SendAll(client, reply.data(), reply.size());
    ::closesocket(client);
    return;
  }
  if (mode_ == Mode::kShortReply) {
    SendAll(client, "HTTP/1.1 20", 11);
    ::closesocket(client);
    return;
  }
  // "CONNECT host:port HTTP/1.1": relay to that target.
  const size_t hostStart = line.find(' ') + 1;
  const size_t colon = line.find(':', hostStart);
  const std::string host = line.substr(hostStart, colon - hostStart);
  const int port = relay_port_ ? relay_port_ : std::atoi(line.c_str() + colon + 1);
  SOCKET upstream = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<uint16_t>(port));
  target.sin_addr.s_addr = relay_port_ ? htonl(INADDR_LOOPBACK) : ::inet_addr(host.c_str());
  if (::connect(upstream, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
    SendAll(client, "HTTP/1.1 502 Bad Gateway\r\n\r\n", 28);
    ::closesocket(upstream);
    ::closesocket(client);
    return;
  }
  {
    std::lock_guard<std::mutex> hold(mutex_);
    relay_sockets_.push_back(client);
    relay_sockets_.push_back(upstream);
  }
  const char established[] = "HTTP/1.1 200 Connection established\r\n\r\n";
  SendAll(client, established, sizeof established - 1);
  auto pump = [](SOCKET from, SOCKET to) {
    char buffer[65536];
    for (;;) {
      const int got = ::recv(from, buffer, sizeof buffer, 0);
      if (got <= 0 || !SendAll(to, buffer, static_cast<size_t>(got))) break;
    }
    ::shutdown(to, SD_SEND);
  };
  relays_.emplace_back([=] {
    std::thread back(pump, upstream, client);
    pump(client, upstream);
    back.join();
  });
}

// --- System proxy settings ----------------------------------------------------------------

namespace {
const wchar_t kConnections[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

void AppendCounted(std::vector<uint8_t>* blob, const std::string& text) {
  const uint32_t length = static_cast<uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) blob->push_back(static_cast<uint8_t>(length >> (8 * i)));
  blob->insert(blob->end(), text.begin(), text.end());
}
}  // namespace

void SetSystemProxy(const std::string& proxyList, const std::string& scriptUrl) {
  // The connection settings blob: version 0x46, a counter, the flags (1 direct, 2 proxy,
  // 4 script), then counted texts: proxy list, bypass list, script URL.
  uint32_t flags = 1;
  if (!proxyList.empty()) flags |= 2;
  if (!scriptUrl.empty()) flags |= 4;
  std::vector<uint8_t> blob;
  for (uint32_t word : {0x46u, 1u, flags}) {
    for (int i = 0; i < 4; ++i) blob.push_back(static_cast<uint8_t>(word >> (8 * i)));
  }
  AppendCounted(&blob, proxyList);
  AppendCounted(&blob, "");
  AppendCounted(&blob, scriptUrl);
  blob.resize(blob.size() + 32, 0);
  HKEY key = nullptr;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, kConnections, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
  ::RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY, blob.data(),
                   static_cast<DWORD>(blob.size()));
  ::RegCloseKey(key);
}

void ClearSystemProxy() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kConnections, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    ::RegDeleteValueW(key, L"DefaultConnectionSettings");
    ::RegCloseKey(key);
  }
}
