// DNS names and replies from arbitrary bytes: no crash, no read past the reply, and the bounds
// the resolver relies on. The first byte picks the answer offset; the whole input is the reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/dns_message.h"

namespace {

void CheckName(const uint8_t* data, size_t size, size_t offset) {
  std::string name;
  size_t consumed = 0;
  if (!DecodeDnsName(data, size, offset, &name, &consumed)) return;
  if (name.size() > 255 || consumed == 0 || consumed > size - offset) std::abort();
}

void CheckReply(const uint8_t* data, size_t size, size_t answerOffset) {
  std::vector<uint32_t> addresses;
  const bool found = ParseDnsReply(data, size, answerOffset, &addresses);
  if (found != !addresses.empty() || addresses.size() > 20) std::abort();
}

void CheckQuery(const uint8_t* data, size_t size) {
  const std::string host(reinterpret_cast<const char*>(data), size);
  const uint16_t id = static_cast<uint16_t>(size * 2654435761u);
  const std::vector<uint8_t> query = BuildDnsQuery(host, id);
  if (query.size() != 17 + DnsLabelLength(host)) std::abort();
  uint16_t read = 0;
  if (!DnsReplyId(query.data(), query.size(), &read) || read != id) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly size bytes, so AddressSanitizer catches any read past the reply.
  const std::vector<uint8_t> reply(data, data + size);
  const uint8_t* bytes = reply.data();
  const size_t answerOffset = size > 0 ? data[0] : 0;
  CheckName(bytes, size, answerOffset);
  CheckName(bytes, size, 12);
  CheckReply(bytes, size, answerOffset);
  CheckQuery(data, size);
  return 0;
}
