// The ceiling of the two-range design under Wine: two ranged GETs on two threads, receives of at
// most 1024 bytes into 1 MiB buffers written in place, nothing else.
//   range_probe HOST PORT PATH SIZE OUTPUT   prints "<bytes> <seconds> <MB/s>"
// With PROBE_TIMEOUT set, both sockets get the downloader's 2 s receive and send time-outs.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "probe_output.h"

namespace {

bool FetchRange(const char* host, int port, const char* path, long long from, long long to,
                ProbeOutput* file) {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<u_short>(port));
  target.sin_addr.s_addr = ::inet_addr(host);
  if (::connect(s, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) return false;
  if (std::getenv("PROBE_TIMEOUT")) {
    DWORD t = 2000;
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&t), sizeof t);
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&t), sizeof t);
  }
  const std::string request = std::string("GET ") + path + " HTTP/1.1\r\nHost:" + host +
                              "\r\nRange:bytes=" + std::to_string(from) + "-" + std::to_string(to) +
                              "\r\nConnection:close\r\n\r\n";
  ::send(s, request.data(), static_cast<int>(request.size()), 0);
  std::vector<char> buffer(1 << 20);
  size_t filled = 0;
  std::string head;
  bool inHead = true;
  long long offset = from;
  auto flush = [&] {
    file->WriteAt(offset, buffer.data(), static_cast<uint32_t>(filled));
    offset += static_cast<long long>(filled);
    filled = 0;
  };
  char piece[1024];
  for (;;) {
    const int got = ::recv(s, inHead ? piece : buffer.data() + filled,
                           static_cast<int>(inHead ? sizeof piece : std::min<size_t>(1024, buffer.size() - filled)), 0);
    if (got <= 0) break;
    if (inHead) {
      head.append(piece, static_cast<size_t>(got));
      const size_t end = head.find("\r\n\r\n");
      if (end == std::string::npos) continue;
      const std::string body = head.substr(end + 4);
      std::memcpy(buffer.data(), body.data(), body.size());
      filled = body.size();
      inHead = false;
    } else {
      filled += static_cast<size_t>(got);
    }
    if (filled == buffer.size()) flush();
  }
  flush();
  ::closesocket(s);
  return offset == to + 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) return 2;
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  const long long size = std::atoll(argv[4]);
  bool ok1 = false, ok2 = false;
  double seconds = 0;
  {
    ProbeOutput file(argv[5], size);
    const ProbeClock clock;
    const long long half = size / 2;
    std::thread a([&] { ok1 = FetchRange(argv[1], std::atoi(argv[2]), argv[3], 0, half - 1, &file); });
    std::thread b([&] { ok2 = FetchRange(argv[1], std::atoi(argv[2]), argv[3], half, size - 1, &file); });
    a.join();
    b.join();
    seconds = clock.Seconds();
  }
  PrintProbeFigures(size, seconds);
  return ok1 && ok2 ? 0 : 1;
}
