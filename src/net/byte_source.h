// The narrow seam between the HTTP readers and a socket: tests and fuzz targets feed bytes from
// memory, the client from its connection. Portable.
#pragma once

#include <cstddef>

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to size bytes into buffer; returns how many (at least 1), or 0 when the peer has
  // closed. Throws std::runtime_error("socket recv failed") on a receive error.
  virtual size_t Read(char* buffer, size_t size) = 0;
};
