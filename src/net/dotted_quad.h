// IPv4 addresses as dotted-decimal text. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Strict: digits and dots only, exactly four octets of at most 255 each (leading zeros allowed,
// "010" is 10), no empty octet, no trailing dot. On success fills bytes[0..3] in text order.
bool ParseDottedQuad(const std::string& text, uint8_t bytes[4]);

// address holds the four octets in network order (first octet at the lowest memory address).
// Writes "a.b.c.d" without leading zeros; false (nothing written) when size < 16.
bool FormatDottedQuad(uint32_t address, char* buffer, size_t size);
