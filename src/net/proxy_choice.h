// How a connection reaches its target. Portable.
#pragma once

#include <cstdint>
#include <string>

struct ProxyChoice {
  int32_t kind = 0;  // 0 direct, 1 HTTP proxy through a CONNECT tunnel
  std::string host;
  uint16_t port = 0;
};
