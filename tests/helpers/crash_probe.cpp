// Starts the event logger from its embedded telemetry archive, then crashes, so the tests can
// watch the crash report go out.
#include <cstdio>

#include "telemetry/logger.h"

int main() {
  if (!GetLogger()) return 2;
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  std::puts("not reached");
  return 0;
}
