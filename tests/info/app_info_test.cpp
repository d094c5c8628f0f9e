#include "info/app_info.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/product_fixture.h"
#include "support/temp_folder.h"

namespace {

class AppInfoTest : public testing::Test {
 protected:
  void SetUp() override { RemoveUninstallEntry(); }
  void TearDown() override { RemoveUninstallEntry(); }

  // Refreshes a new object and returns {path, version}.
  static std::pair<std::wstring, std::wstring> Installed() {
    CAppInfo info;
    EXPECT_TRUE(info.Refresh());
    return {info.GetProductPath(), info.GetProductVersion()};
  }
};

}  // namespace

TEST_F(AppInfoTest, InstalledProductFromTheUninstallEntry) {
  TempFolder dir;
  const std::wstring product = dir.path() + L"Lumacut.exe";
  ASSERT_TRUE(::CopyFileW(SiblingExecutable(L"launch_probe.exe").c_str(), product.c_str(), FALSE));

  EXPECT_EQ(Installed(), std::make_pair(std::wstring(), std::wstring())) << "no entry";

  SetUninstallDisplayIcon(KEY_WOW64_32KEY, L"");
  EXPECT_EQ(Installed().first, L"") << "entry without DisplayIcon";

  SetUninstallDisplayIcon(KEY_WOW64_32KEY, dir.path() + L"Deleted.exe");
  EXPECT_EQ(Installed().first, L"") << "file gone";

  SetUninstallDisplayIcon(KEY_WOW64_32KEY, product + L",0");
  EXPECT_EQ(Installed().first, L"") << "icon index appended";

  SetUninstallDisplayIcon(KEY_WOW64_32KEY, product);
  EXPECT_EQ(Installed(), std::make_pair(product, std::wstring(L"1.2.3.4")));
}

// A 32-bit process sees only the 32-bit view; the 64-bit build asks for it explicitly.
TEST_F(AppInfoTest, EntryInThe64BitViewOnlyIsNotSeen) {
  SetUninstallDisplayIcon(KEY_WOW64_64KEY, SiblingExecutable(L"launch_probe.exe"));
  EXPECT_EQ(Installed().first, L"");
}

TEST_F(AppInfoTest, FileVersionOfOwnAndOtherExecutables) {
  CAppInfo info;
  EXPECT_EQ(info.GetFileVersion(L""), L"3.4.5.6") << "this test program's own resource";
  EXPECT_EQ(info.GetFileVersion(SiblingExecutable(L"launch_probe_1_97_0.exe")), L"1.97.0");
  EXPECT_EQ(info.GetFileVersion(SiblingExecutable(L"test_child.exe")), L"") << "no resource";
  EXPECT_EQ(info.GetFileVersion(L"C:\\no\\such.exe"), L"");
  EXPECT_EQ(info.GetFileVersion(BuildTreeFolder() + L"LumacutSetup.exe"), LUMACUT_VERSION_TEXT);
}
