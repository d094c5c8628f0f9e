// Start-up cost of the event logger and how long sending blocks its caller.
//   logger_bench [events]   prints construction time and SendEvent median / p95 / max (µs)
// The telemetry host need not be up: sending never waits for the network.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "telemetry/logger_server.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  const int events = argc > 1 ? std::atoi(argv[1]) : 500;
  const double start = Now();
  CLoggerServer logger;
  const double constructed = Now();
  if (!logger.started()) {
    std::fprintf(stderr, "logger did not start: %s\n", logger.start_error().c_str());
    return 1;
  }
  std::vector<double> sends;
  for (int i = 0; i < events; ++i) {
    logger.ClearProperties();
    logger.AddIntProperty("i", i);
    logger.AddStringProperty("bench", "logger");
    const double before = Now();
    logger.SendEvent("vBench");
    sends.push_back(Now() - before);
  }
  std::sort(sends.begin(), sends.end());
  std::printf("construction    %9.1f ms (unpack, load, start)\n", (constructed - start) / 1000);
  std::printf("SendEvent       median %.1f us, p95 %.1f us, max %.1f us over %d events\n",
              sends[sends.size() / 2], sends[sends.size() * 95 / 100], sends.back(), events);
  return 0;
}
