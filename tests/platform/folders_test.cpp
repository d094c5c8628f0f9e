#include "platform/folders.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include "platform/files.h"
#include "platform/text.h"
#include "platform/windows_api.h"

TEST(CacheFolder, IsVelmorPkgUnderRoamingAppDataAndExists) {
  wchar_t appData[MAX_PATH] = {};
  ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE));
  const std::wstring cache = GetCacheFolder();
  EXPECT_EQ(cache, std::wstring(appData) + L"\\VelmorPkg\\");
  EXPECT_TRUE(DirectoryExists(cache));
  EXPECT_EQ(GetCacheFolder(), cache);
}

// The scratch folder is made before main and named after the time the process started (or a
// little later, when names of that second were taken by other processes).
TEST(ScratchFolder, MadeAtLoadWithTimestampedName) {
  const std::wstring scratch = GetScratchFolder();
  ASSERT_FALSE(scratch.empty());
  EXPECT_TRUE(DirectoryExists(scratch));
  EXPECT_EQ(scratch.back(), L'\\');
  const auto pieces = Split(scratch, L"\\");
  ASSERT_EQ(pieces.size(), 2u) << "at the root of a drive";
  ASSERT_EQ(pieces[1].rfind(L"VelmorPkg_", 0), 0u);
  const int64_t stamp = std::stoll(pieces[1].substr(10));
  EXPECT_LE(stamp, UnixTime() + 100);
  EXPECT_GT(stamp, UnixTime() - 600);
}
