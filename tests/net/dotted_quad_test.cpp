#include "net/dotted_quad.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

TEST(ParseDottedQuad, AcceptsFourOctetsInTextOrder) {
  struct Case {
    const char* text;
    std::array<uint8_t, 4> expected;
  } cases[] = {
      {"1.2.3.4", {1, 2, 3, 4}},
      {"001.002.003.004", {1, 2, 3, 4}},
      {"010.0.0.1", {10, 0, 0, 1}},
      {"255.255.255.255", {255, 255, 255, 255}},
      {"0.0.0.0", {0, 0, 0, 0}},
      {"127.0.0.1", {127, 0, 0, 1}},
      {"0000000000255.1.1.1", {255, 1, 1, 1}},
  };
  for (const auto& c : cases) {
    uint8_t bytes[4] = {9, 9, 9, 9};
    ASSERT_TRUE(ParseDottedQuad(c.text, bytes)) << c.text;
    EXPECT_EQ((std::array<uint8_t, 4>{bytes[0], bytes[1], bytes[2], bytes[3]}), c.expected)
        << c.text;
  }
}

TEST(ParseDottedQuad, RejectsAnythingElse) {
  const char* cases[] = {
      "",         "1.2.3",     "1.2.3.4.",  "256.1.1.1", "1..2.3",    "1.2.3.4.5",
      ".1.2.3.4", "1.2.3.256", "a.b.c.d",   "1.2.3.4a",  "1.2.3.-4",  " 1.2.3.4",
      "1.2.3.4 ", "....",      "1.2.3.1000", "1,2,3,4",  "99999999999999999999.1.1.1",
  };
  for (const char* text : cases) {
    uint8_t bytes[4] = {};
    EXPECT_FALSE(ParseDottedQuad(text, bytes)) << text;
  }
}

TEST(FormatDottedQuad, WritesMemoryOrderWithoutLeadingZeros) {
  const uint8_t octets[4] = {10, 0, 200, 7};
  uint32_t address;
  std::memcpy(&address, octets, sizeof address);
  char buffer[16];
  ASSERT_TRUE(FormatDottedQuad(address, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "10.0.200.7");

  ASSERT_TRUE(FormatDottedQuad(0xFFFFFFFFu, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "255.255.255.255");
}

TEST(FormatDottedQuad, RefusesBuffersUnderSixteenAndWritesNothing) {
  char buffer[15];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_FALSE(FormatDottedQuad(0, buffer, sizeof buffer));
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'x'));
}

TEST(DottedQuad, ParseThenFormatRoundTrips) {
  for (const char* text : {"1.2.3.4", "114.114.115.115", "0.0.0.0", "8.8.4.4"}) {
    uint8_t bytes[4];
    ASSERT_TRUE(ParseDottedQuad(text, bytes));
    uint32_t address;
    std::memcpy(&address, bytes, sizeof address);
    char buffer[16];
    ASSERT_TRUE(FormatDottedQuad(address, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, text);
  }
}
