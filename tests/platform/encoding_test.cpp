#include "platform/encoding.h"

#include <gtest/gtest.h>

TEST(Encoding, Utf8RoundTripKeepsChineseAndAstralCharacters) {
  const std::wstring text = L"立即安装 a b/\u00e9 \U0001F600";
  const std::string utf8 = WideToUtf8(text);
  EXPECT_EQ(utf8, "\xe7\xab\x8b\xe5\x8d\xb3\xe5\xae\x89\xe8\xa3\x85 a b/\xc3\xa9 \xf0\x9f\x98\x80");
  EXPECT_EQ(Utf8ToWide(utf8), text);
}

TEST(Encoding, EmptyAndEmbeddedNul) {
  EXPECT_EQ(Utf8ToWide(""), L"");
  EXPECT_EQ(WideToUtf8(L""), "");
  EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(Encoding, AnsiRoundTripOfAscii) {
  EXPECT_EQ(AnsiToWide("LumacutSetup_ab12cd.exe"), L"LumacutSetup_ab12cd.exe");
  EXPECT_EQ(WideToAnsi(L"setup_Uab12"), "setup_Uab12");
}
