#include "platform/text.h"

#include <gtest/gtest.h>

#include <limits>

using Pieces = std::vector<std::string>;

TEST(Split, DropsEmptyPiecesBetweenAnyDelimiter) {
  struct Case {
    std::string text, delimiters;
    Pieces expected;
  } cases[] = {
      {"1.2.3.4", ".", {"1", "2", "3", "4"}},
      {".1..2.", ".", {"1", "2"}},
      {"", ".", {}},
      {"...", ".", {}},
      {"a..b", ".", {"a", "b"}},
      {"C:\\a/b\\\\c", "\\/", {"C:", "a", "b", "c"}},
      {"no-delimiter", ".", {"no-delimiter"}},
      {"a b", "", {"a b"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Split(c.text, c.delimiters), c.expected) << c.text;
}

TEST(Split, WideVariantMatches) {
  EXPECT_EQ(Split(std::wstring(L"C:\\Program Files\\\\Lumacut\\"), std::wstring(L"\\")),
            (std::vector<std::wstring>{L"C:", L"Program Files", L"Lumacut"}));
}

TEST(FindFirst, IndexOrMinusOne) {
  EXPECT_EQ(FindFirst(std::string("a_b_c"), std::string("_")), 1);
  EXPECT_EQ(FindFirst(std::string(""), std::string("_")), -1);
  EXPECT_EQ(FindFirst(std::string("abc"), std::string("")), -1);
  EXPECT_EQ(FindFirst(std::string("abc"), std::string("d")), -1);
  EXPECT_EQ(FindFirst(std::wstring(L"x.exe.exe"), std::wstring(L".exe")), 1);
}

TEST(Trim, LeftAndRight) {
  EXPECT_EQ(TrimLeft(std::string("  \tabc "), std::string(" \t")), "abc ");
  EXPECT_EQ(TrimLeft(std::string("   "), std::string(" ")), "");
  EXPECT_EQ(TrimLeft(std::wstring(L"\\\\a\\"), std::wstring(L"\\")), L"a\\");
  EXPECT_EQ(TrimRight(std::wstring(L"C:\\a\\\\"), std::wstring(L"\\")), L"C:\\a");
  EXPECT_EQ(TrimRight(std::wstring(L"\\\\"), std::wstring(L"\\")), L"");
}

TEST(RemoveAll, Table) {
  EXPECT_EQ(RemoveAll(L"ab", L"xabyabab"), L"xy");
  EXPECT_EQ(RemoveAll(L"", L"text"), L"text");
  EXPECT_EQ(RemoveAll(L"longer than", L"short"), L"short");
  EXPECT_EQ(RemoveAll(L"a", L""), L"");
  EXPECT_EQ(RemoveAll(L"aa", L"aaa"), L"a");
}

TEST(ToUpperAscii, OnlyLettersChange) {
  EXPECT_EQ(ToUpperAscii("d41d8cd98f00b204e9800998ecf8427e"), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(ToUpperAscii("\xc3\xa9-z{"), "\xc3\xa9-Z{");
}

TEST(Int64, FormatAndParse) {
  EXPECT_EQ(FormatInt64(0), "0");
  EXPECT_EQ(FormatInt64(-42), "-42");
  EXPECT_EQ(FormatInt64(std::numeric_limits<int64_t>::max()), "9223372036854775807");
  EXPECT_EQ(FormatInt64(std::numeric_limits<int64_t>::min()), "-9223372036854775808");

  EXPECT_EQ(ParseInt64("12345678901"), 12345678901LL);
  EXPECT_EQ(ParseInt64("  -7xyz"), -7);
  EXPECT_EQ(ParseInt64("abc"), 0);
  EXPECT_EQ(ParseInt64(""), 0);
  EXPECT_EQ(ParseInt64("99999999999999999999999"), std::numeric_limits<int64_t>::max());
}

TEST(UrlEncode, Table) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"a b/\xc3\xa9", "a+b%2F%C3%A9"},
      {"~'()*!-_.", "~'()*!-_."},
      {"AZaz09", "AZaz09"},
      {"a=1&b=2", "a%3D1%26b%3D2"},
      {std::string("\0\xff", 2), "%00%FF"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(UrlEncode(c.in), c.out) << c.in;
}

TEST(UnixTime, IsAfter2024) { EXPECT_GT(UnixTime(), 1704067200); }
