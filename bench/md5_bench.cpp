// Prints the throughput of Md5HexOfFile on one file: "<digest> <bytes> <seconds> <MB/s>".
//   md5_bench FILE [repeats]   best of the repeats (default 3)
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/encoding.h"
#include "platform/files.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: md5_bench FILE [repeats]\n");
    return 2;
  }
  const int repeats = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 3;
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  double best = 1e30;
  std::string digest;
  for (int i = 0; i < repeats; ++i) {
    LARGE_INTEGER start, stop;
    ::QueryPerformanceCounter(&start);
    digest = Md5HexOfFile(argv[1]);
    ::QueryPerformanceCounter(&stop);
    const double seconds = static_cast<double>(stop.QuadPart - start.QuadPart) / frequency.QuadPart;
    if (seconds < best) best = seconds;
  }
  const double bytes = static_cast<double>(FileSize(argv[1]));
  std::printf("%s %.0f %.3f %.1f\n", digest.c_str(), bytes, best, bytes / best / 1e6);
  return digest.empty() ? 1 : 0;
}
