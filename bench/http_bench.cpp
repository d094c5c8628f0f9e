// CTCPHttp::Get throughput: http_bench HOST PORT PATH [repeats] prints "<bytes> <MB/s>" for the
// best of the repeats (default 3).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/shared_settings.h"
#include "net/tcp_http.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: http_bench HOST PORT PATH [repeats]\n");
    return 2;
  }
  WSADATA data;
  ::WSAStartup(MAKEWORD(1, 1), &data);
  CreateSharedSettings();
  const int repeats = argc > 4 ? std::atoi(argv[4]) : 3;
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  double best = 1e30;
  size_t bytes = 0;
  for (int i = 0; i < repeats; ++i) {
    try {
      CTCPHttp http(argv[1], static_cast<uint16_t>(std::atoi(argv[2])));
      LARGE_INTEGER start, stop;
      ::QueryPerformanceCounter(&start);
      bytes = http.Get(argv[1], argv[3]).size();
      ::QueryPerformanceCounter(&stop);
      const double seconds = static_cast<double>(stop.QuadPart - start.QuadPart) / frequency.QuadPart;
      if (seconds < best) best = seconds;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 1;
    }
  }
  std::printf("%zu %.1f\n", bytes, static_cast<double>(bytes) / best / 1e6);
  return bytes ? 0 : 1;
}
