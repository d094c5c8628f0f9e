#include "net/dotted_quad.h"

#include <cstdio>
#include <cstring>

bool ParseDottedQuad(const std::string& text, uint8_t bytes[4]) {
  unsigned octets[4] = {0, 0, 0, 0};
  int begun = 0;  // octets that have at least one digit
  bool afterDigit = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      if (!afterDigit) ++begun;
      // Leading zeros never push the value up, so checking after each digit also stops long
      // digit runs before they could overflow.
      octets[begun - 1] = octets[begun - 1] * 10 + static_cast<unsigned>(c - '0');
      if (octets[begun - 1] > 255) return false;
      afterDigit = true;
    } else if (c == '.') {
      if (!afterDigit || begun >= 4) return false;
      afterDigit = false;
    } else {
      return false;
    }
  }
  if (begun != 4 || !afterDigit) return false;
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(octets[i]);
  return true;
}

bool FormatDottedQuad(uint32_t address, char* buffer, size_t size) {
  if (buffer == nullptr || size < 16) return false;
  uint8_t b[4];
  std::memcpy(b, &address, sizeof b);
  std::snprintf(buffer, size, "%u.%u.%u.%u", static_cast<unsigned>(b[0]),
                static_cast<unsigned>(b[1]), static_cast<unsigned>(b[2]),
                static_cast<unsigned>(b[3]));
  return true;
}
