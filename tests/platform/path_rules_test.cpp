#include "platform/path_rules.h"

#include <gtest/gtest.h>

TEST(IsValidLocalPath, Table) {
  struct Case {
    const wchar_t* path;
    bool valid;
  } cases[] = {
      {L"C:", true},
      {L"C:\\", true},
      {L"C:\\Program Files\\Lumacut", true},
      {L"D:\\Velmor\\Lumacut", true},
      {L"z:\\a\\b.c\\", true},
      {L"C:\\路径\\视频", true},
      {L"D:\\Velmor\\Lu|macut", false},
      {L"C:/x", false},
      {L"\\\\server\\share", false},
      {L"1:\\x", false},
      {L"C:\\a*b", false},
      {L"C:\\a\\\\b", false},
      {L"C:\\a?", false},
      {L"C:\\a\"b", false},
      {L"C:\\a<b>", false},
      {L"C:\\a:b", false},
      {L"C:\\a/b", false},
      {L"CD:\\x", false},
      {L"C", false},
      {L"", false},
      {L"relative\\path", false},
      // A leading separator is not a drive path, whatever follows it.
      {L"\\C:\\x", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidLocalPath(c.path), c.valid) << c.path;
}

TEST(ExtensionOf, Table) {
  struct Case {
    const wchar_t* path;
    const wchar_t* extension;
  } cases[] = {
      {L"C:\\a.b\\c", L""},          {L"C:\\a\\b.tar.gz", L".gz"}, {L"setup.exe", L".exe"},
      {L"C:/x.y/z", L""},            {L"noext", L""},              {L"C:\\dir\\.hidden", L".hidden"},
      {L"C:\\dir\\trailing.", L"."}, {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtensionOf(c.path), c.extension) << c.path;
}

TEST(EnsureTrailingSeparator, Table) {
  EXPECT_EQ(EnsureTrailingSeparator(L"C:\\a"), L"C:\\a\\");
  EXPECT_EQ(EnsureTrailingSeparator(L"C:\\a\\"), L"C:\\a\\");
  EXPECT_EQ(EnsureTrailingSeparator(L"C:/a/"), L"C:/a/");
  EXPECT_EQ(EnsureTrailingSeparator(L""), L"");
}

// Real pixels: the DPI decides; scaled by the system: the physical-to-logical ratio does.
TEST(ScreenScaleFrom, Table) {
  EXPECT_DOUBLE_EQ(ScreenScaleFrom(1920, 1920, 96), 1.0);
  EXPECT_DOUBLE_EQ(ScreenScaleFrom(1920, 1920, 144), 1.5);
  EXPECT_DOUBLE_EQ(ScreenScaleFrom(2880, 1920, 96), 1.5);
  EXPECT_DOUBLE_EQ(ScreenScaleFrom(1920, 0, 120), 1.25);
}
