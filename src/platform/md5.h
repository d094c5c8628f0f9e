// MD5 digests (RFC 1321) printed as 32 lower-case hex digits. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Incremental digest for streamed input; Finish may be called once.
class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  std::string FinishHex();

 private:
  void Transform(const unsigned char* block);

  uint32_t state_[4];
  uint64_t length_ = 0;  // bytes fed so far
  unsigned char buffer_[64];
  size_t buffered_ = 0;
};

// Digest of the bytes; an empty input gives an empty text rather than the digest of nothing,
// because callers use "" to mean "no checksum known".
std::string Md5Hex(const void* data, size_t size);
std::string Md5Hex(const std::string& bytes);
