#include "net/dns_resolver.h"

#include <iphlpapi.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "endpoints.h"
#include "net/dns_message.h"
#include "net/dotted_quad.h"
#include "net/winsock.h"

namespace {

bool IsLoopback(const std::string& server) {
  uint8_t bytes[4];
  return ParseDottedQuad(server, bytes) && bytes[0] == 127;
}

// The system's DNS servers after the first one; empty when there is a single one or the query
// fails. A loopback-only profile never turns to a server outside the machine.
std::vector<std::string> SystemServersAfterFirst() {
  std::vector<std::string> servers;
  std::vector<unsigned char> buffer(sizeof(FIXED_INFO));
  ULONG size = static_cast<ULONG>(buffer.size());
  DWORD status = ::GetNetworkParams(reinterpret_cast<FIXED_INFO*>(buffer.data()), &size);
  if (status == ERROR_BUFFER_OVERFLOW) {
    buffer.resize(size);
    status = ::GetNetworkParams(reinterpret_cast<FIXED_INFO*>(buffer.data()), &size);
  }
  if (status != ERROR_SUCCESS) return servers;
  const auto* info = reinterpret_cast<const FIXED_INFO*>(buffer.data());
  for (const IP_ADDR_STRING* entry = info->DnsServerList.Next; entry; entry = entry->Next) {
    servers.emplace_back(entry->IpAddress.String);
  }
  if (std::strcmp(endpoints::kProfile, "local") == 0) {
    std::vector<std::string> loopback;
    for (const auto& s : servers) {
      if (IsLoopback(s)) loopback.push_back(s);
    }
    servers.swap(loopback);
  }
  return servers;
}

std::string FirstCandidate(const char* server) {
  uint8_t bytes[4];
  if (server && ParseDottedQuad(server, bytes)) return server;
  const auto system = SystemServersAfterFirst();
  if (!system.empty()) return system.front();
  return endpoints::kDnsServers[0];
}

// Waits for the reply to query id from target, ignoring anything else that arrives, until the
// 3-second budget is spent.
bool ReceiveReply(SOCKET s, const sockaddr_in& target, uint16_t id, std::vector<uint8_t>* reply) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    fd_set readable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&failed);
    FD_SET(s, &readable);
    FD_SET(s, &failed);
    timeval timeout = {static_cast<long>(left.count() / 1000000),
                       static_cast<long>(left.count() % 1000000)};
    const int ready = ::select(0, &readable, nullptr, &failed, &timeout);
    if (ready < 0) {
      if (::WSAGetLastError() == WSAEINTR) continue;
      return false;
    }
    if (FD_ISSET(s, &failed) || !FD_ISSET(s, &readable)) return false;
    reply->assign(65536, 0);
    sockaddr_in from = {};
    int fromLength = sizeof from;
    const int got = ::recvfrom(s, reinterpret_cast<char*>(reply->data()),
                               static_cast<int>(reply->size()), 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got < 0) {
      // A port-unreachable from an earlier send shows up here on Windows; not our answer.
      if (::WSAGetLastError() == WSAECONNRESET) continue;
      return false;
    }
    reply->resize(static_cast<size_t>(got));
    uint16_t replyId = 0;
    // A datagram from elsewhere, or for another query, could be forged: keep waiting.
    if (from.sin_addr.s_addr != target.sin_addr.s_addr || from.sin_port != target.sin_port) continue;
    if (!DnsReplyId(reply->data(), reply->size(), &replyId) || replyId != id) continue;
    return true;
  }
}

}  // namespace

int QueryDnsA(DnsAnswer* result, const char* server, const char* host) {
  if (!result || !host) return -1;
  const std::string candidate = FirstCandidate(server);
  UniqueSocket s(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!s.valid()) return -1;

  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(endpoints::kDnsPort);
  uint8_t bytes[4];
  if (!ParseDottedQuad(candidate, bytes)) return -1;
  std::memcpy(&target.sin_addr, bytes, 4);

  const uint16_t id = static_cast<uint16_t>(::GetCurrentProcessId() & 0xFFFF);
  const std::vector<uint8_t> query = BuildDnsQuery(host, id);
  if (::sendto(s.get(), reinterpret_cast<const char*>(query.data()), static_cast<int>(query.size()),
               0, reinterpret_cast<const sockaddr*>(&target), sizeof target) < 0) {
    return -1;
  }
  std::vector<uint8_t> reply;
  if (!ReceiveReply(s.get(), target, id, &reply)) return -1;
  std::vector<uint32_t> addresses;
  if (!ParseDnsReply(reply.data(), reply.size(), query.size(), &addresses)) return -1;
  result->count = static_cast<int32_t>(addresses.size() > 20 ? 20 : addresses.size());
  for (int32_t i = 0; i < result->count; ++i) result->addresses[i] = addresses[i];
  return 0;
}
