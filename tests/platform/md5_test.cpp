#include "platform/md5.h"

#include <gtest/gtest.h>

TEST(Md5Hex, Rfc1321Suite) {
  struct Case {
    const char* in;
    const char* digest;
  } cases[] = {
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(Md5Hex(std::string(c.in)), c.digest) << c.in;
}

// "" means "no checksum" to callers, so the digest of nothing is never produced.
TEST(Md5Hex, EmptyInputGivesEmptyText) { EXPECT_EQ(Md5Hex(std::string()), ""); }

// Lengths around the 56- and 64-byte padding boundaries, fed whole and in uneven slices.
TEST(Md5, StreamingMatchesOneShotAtBlockBoundaries) {
  std::string data;
  for (int i = 0; i < 300; ++i) data += static_cast<char>(i * 7 + 3);
  for (size_t length : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
    const std::string whole = Md5Hex(data.substr(0, length));
    for (size_t slice : {1u, 3u, 63u, 64u, 100u}) {
      Md5 md5;
      for (size_t at = 0; at < length; at += slice) {
        md5.Update(data.data() + at, std::min(slice, length - at));
      }
      EXPECT_EQ(md5.FinishHex(), whole) << "length " << length << " slice " << slice;
    }
  }
}

TEST(Md5, MillionA) {
  const std::string block(1000, 'a');
  Md5 md5;
  for (int i = 0; i < 1000; ++i) md5.Update(block.data(), block.size());
  EXPECT_EQ(md5.FinishHex(), "7707d6ae4e027c70eea2a935c2296f21");
}
