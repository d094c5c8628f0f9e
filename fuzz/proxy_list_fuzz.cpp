// Proxy lists from arbitrary bytes: no crash, and a chosen proxy always names a host that is a
// piece of the list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/proxy_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string list(reinterpret_cast<const char*>(data), size);
  const ProxyChoice choice = ParseProxyList(list);
  if (choice.kind == 0) {
    if (!choice.host.empty() || choice.port != 0) std::abort();
  } else if (choice.kind == 1) {
    if (choice.host.empty() || choice.host.find_first_of(";:") != std::string::npos) std::abort();
    if (list.find(choice.host) == std::string::npos) std::abort();
  } else {
    std::abort();
  }
  return 0;
}
