#include "platform/zip_archive.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/folders.h"
#include "support/product_fixture.h"
#include "support/temp_folder.h"

namespace {

// The telemetry archive this test program carries, saved to a file.
std::wstring SaveEmbeddedArchive(const TempFolder& dir) {
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC resource = ::FindResourceW(self, MAKEINTRESOURCEW(105), L"BinarySystem");
  const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(self, resource)));
  return dir.WriteFile(L"archive.zip", std::string(bytes, ::SizeofResource(self, resource)));
}

}  // namespace

TEST(UnpackZip, ExtractsEveryEntryAndOverwrites) {
  TempFolder dir;
  const std::wstring zip = SaveEmbeddedArchive(dir);
  const std::wstring out = dir.path() + L"out\\";
  ASSERT_TRUE(CreateDirectoryTree(out));
  dir.WriteFile(L"out\\Kiv.dll", "stale");
  EXPECT_EQ(UnpackZip(zip, out), 2);
  EXPECT_GT(FileSize(out + L"Kiv.dll"), 1000u);
  EXPECT_GT(FileSize(out + L"RUZAZ.dll"), 1000u);
  EXPECT_EQ(FileSize(out + L"Kiv.dll"), FileSize(BuildTreeFolder() + L"components\\Kiv.dll"));
}

TEST(UnpackZip, MissingOrDamagedArchive) {
  TempFolder dir;
  EXPECT_EQ(UnpackZip(dir.path() + L"none.zip", dir.path()), -1);
  EXPECT_EQ(UnpackZip(dir.WriteFile(L"bad.zip", "PK\x03\x04 not really"), dir.path()), -1);
}

TEST(ZipEntryNames, OnlyNamesThatStayInside) {
  EXPECT_TRUE(IsSafeEntryName("Kiv.dll"));
  EXPECT_TRUE(IsSafeEntryName("skin/a..b.png"));
  EXPECT_FALSE(IsSafeEntryName("../evil.dll"));
  EXPECT_FALSE(IsSafeEntryName("a/../../evil.dll"));
  EXPECT_FALSE(IsSafeEntryName("..\\evil.dll"));
  EXPECT_FALSE(IsSafeEntryName("/abs.dll"));
  EXPECT_FALSE(IsSafeEntryName("C:evil.dll"));
  EXPECT_FALSE(IsSafeEntryName(""));
}
