#include "platform/md5.h"

#include <cstring>

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadLe32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

#define MD5_STEP(f, a, b, c, d, x, t, s) \
  a += f(b, c, d) + (x) + (t);           \
  a = Rotl(a, s) + b;

#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

}  // namespace

Md5::Md5() : state_{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u}, buffer_{} {}

void Md5::Transform(const unsigned char* block) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLe32(block + 4 * i);
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

  MD5_STEP(MD5_F, a, b, c, d, x[0], 0xd76aa478, 7)
  MD5_STEP(MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12)
  MD5_STEP(MD5_F, c, d, a, b, x[2], 0x242070db, 17)
  MD5_STEP(MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22)
  MD5_STEP(MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7)
  MD5_STEP(MD5_F, d, a, b, c, x[5], 0x4787c62a, 12)
  MD5_STEP(MD5_F, c, d, a, b, x[6], 0xa8304613, 17)
  MD5_STEP(MD5_F, b, c, d, a, x[7], 0xfd469501, 22)
  MD5_STEP(MD5_F, a, b, c, d, x[8], 0x698098d8, 7)
  MD5_STEP(MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12)
  MD5_STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17)
  MD5_STEP(MD5_F, b, c, d, a, x[11], 0x895cd7be, 22)
  MD5_STEP(MD5_F, a, b, c, d, x[12], 0x6b901122, 7)
  MD5_STEP(MD5_F, d, a, b, c, x[13], 0xfd987193, 12)
  MD5_STEP(MD5_F, c, d, a, b, x[14], 0xa679438e, 17)
  MD5_STEP(MD5_F, b, c, d, a, x[15], 0x49b40821, 22)

  MD5_STEP(MD5_G, a, b, c, d, x[1], 0xf61e2562, 5)
  MD5_STEP(MD5_G, d, a, b, c, x[6], 0xc040b340, 9)
  MD5_STEP(MD5_G, c, d, a, b, x[11], 0x265e5a51, 14)
  MD5_STEP(MD5_G, b, c, d, a, x[0], 0xe9b6c7aa, 20)
  MD5_STEP(MD5_G, a, b, c, d, x[5], 0xd62f105d, 5)
  MD5_STEP(MD5_G, d, a, b, c, x[10], 0x02441453, 9)
  MD5_STEP(MD5_G, c, d, a, b, x[15], 0xd8a1e681, 14)
  MD5_STEP(MD5_G, b, c, d, a, x[4], 0xe7d3fbc8, 20)
  MD5_STEP(MD5_G, a, b, c, d, x[9], 0x21e1cde6, 5)
  MD5_STEP(MD5_G, d, a, b, c, x[14], 0xc33707d6, 9)
  MD5_STEP(MD5_G, c, d, a, b, x[3], 0xf4d50d87, 14)
  MD5_STEP(MD5_G, b, c, d, a, x[8], 0x455a14ed, 20)
  MD5_STEP(MD5_G, a, b, c, d, x[13], 0xa9e3e905, 5)
  MD5_STEP(MD5_G, d, a, b, c, x[2], 0xfcefa3f8, 9)
  MD5_STEP(MD5_G, c, d, a, b, x[7], 0x676f02d9, 14)
  MD5_STEP(MD5_G, b, c, d, a, x[12], 0x8d2a4c8a, 20)

  MD5_STEP(MD5_H, a, b, c, d, x[5], 0xfffa3942, 4)
  MD5_STEP(MD5_H, d, a, b, c, x[8], 0x8771f681, 11)
  MD5_STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16)
  MD5_STEP(MD5_H, b, c, d, a, x[14], 0xfde5380c, 23)
  MD5_STEP(MD5_H, a, b, c, d, x[1], 0xa4beea44, 4)
  MD5_STEP(MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11)
  MD5_STEP(MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16)
  MD5_STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23)
  MD5_STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4)
  MD5_STEP(MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11)
  MD5_STEP(MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16)
  MD5_STEP(MD5_H, b, c, d, a, x[6], 0x04881d05, 23)
  MD5_STEP(MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4)
  MD5_STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11)
  MD5_STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16)
  MD5_STEP(MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23)

  MD5_STEP(MD5_I, a, b, c, d, x[0], 0xf4292244, 6)
  MD5_STEP(MD5_I, d, a, b, c, x[7], 0x432aff97, 10)
  MD5_STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7, 15)
  MD5_STEP(MD5_I, b, c, d, a, x[5], 0xfc93a039, 21)
  MD5_STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3, 6)
  MD5_STEP(MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10)
  MD5_STEP(MD5_I, c, d, a, b, x[10], 0xffeff47d, 15)
  MD5_STEP(MD5_I, b, c, d, a, x[1], 0x85845dd1, 21)
  MD5_STEP(MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6)
  MD5_STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10)
  MD5_STEP(MD5_I, c, d, a, b, x[6], 0xa3014314, 15)
  MD5_STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21)
  MD5_STEP(MD5_I, a, b, c, d, x[4], 0xf7537e82, 6)
  MD5_STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235, 10)
  MD5_STEP(MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15)
  MD5_STEP(MD5_I, b, c, d, a, x[9], 0xeb86d391, 21)

  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md5::Update(const void* data, size_t size) {
  auto* p = static_cast<const unsigned char*>(data);
  length_ += size;
  if (buffered_ > 0) {
    const size_t take = size < 64 - buffered_ ? size : 64 - buffered_;
    std::memcpy(buffer_ + buffered_, p, take);
    buffered_ += take;
    p += take;
    size -= take;
    if (buffered_ < 64) return;
    Transform(buffer_);
    buffered_ = 0;
  }
  for (; size >= 64; p += 64, size -= 64) Transform(p);
  if (size > 0) {
    std::memcpy(buffer_, p, size);
    buffered_ = size;
  }
}

std::string Md5::FinishHex() {
  const uint64_t bits = length_ * 8;
  static const unsigned char kPad[64] = {0x80};
  const size_t pad = buffered_ < 56 ? 56 - buffered_ : 120 - buffered_;
  Update(kPad, pad);
  unsigned char tail[8];
  for (int i = 0; i < 8; ++i) tail[i] = static_cast<unsigned char>(bits >> (8 * i));
  Update(tail, 8);

  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(32);
  for (const uint32_t word : state_) {
    for (int i = 0; i < 4; ++i) {
      const auto byte = static_cast<unsigned char>(word >> (8 * i));
      hex += kHex[byte >> 4];
      hex += kHex[byte & 0x0F];
    }
  }
  return hex;
}

std::string Md5Hex(const void* data, size_t size) {
  if (size == 0) return std::string();
  Md5 md5;
  md5.Update(data, size);
  return md5.FinishHex();
}

std::string Md5Hex(const std::string& bytes) { return Md5Hex(bytes.data(), bytes.size()); }
