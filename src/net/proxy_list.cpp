#include "net/proxy_list.h"

#include <cstdint>

#include "platform/text.h"

namespace {

// A number outside the port range names no port, the same as text that is no number.
uint16_t PortOf(const std::string& text) {
  const int64_t value = ParseInt64(text);
  return value >= 0 && value <= UINT16_MAX ? static_cast<uint16_t>(value) : 0;
}

}  // namespace

ProxyChoice ParseProxyList(const std::string& list) {
  ProxyChoice choice;
  for (const auto& entry : Split(list, ";")) {
    const size_t equals = entry.find('=');
    const bool hasScheme = equals != std::string::npos;
    const std::string address = hasScheme ? entry.substr(equals + 1) : entry;
    const size_t colon = address.find(':');
    const std::string host = address.substr(0, colon);
    if (host.empty()) continue;
    if (hasScheme && equals != 0 && entry.compare(0, equals, "http") != 0) continue;
    choice.kind = 1;
    choice.host = host;
    choice.port = colon == std::string::npos ? 0 : PortOf(address.substr(colon + 1));
  }
  return choice;
}
