#include "platform/files.h"

#include <gtest/gtest.h>

#include "platform/md5.h"
#include "platform/windows_api.h"
#include "support/temp_folder.h"

TEST(PathPieces, FolderAndFileName) {
  EXPECT_EQ(FolderOf(L"C:\\a\\b\\setup.exe"), L"C:\\a\\b\\");
  EXPECT_EQ(FileNameOf(L"C:\\a\\b\\setup.exe"), L"setup.exe");
  EXPECT_EQ(FolderOf(L"C:\\a\\b\\"), L"C:\\a\\b\\");
  EXPECT_EQ(FileNameOf(L"C:\\a\\b\\"), L"");
  EXPECT_EQ(FolderOf(L"C:/a/./c/../x.txt"), L"C:\\a\\");
  EXPECT_EQ(FolderOf(L""), L"");
}

TEST(Files, ExistenceSizeAndRemoval) {
  TempFolder dir;
  const std::wstring file = dir.WriteFile(L"data.bin", std::string(1234, 'x'));
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(DirectoryExists(dir.path()));
  EXPECT_FALSE(FileExists(dir.path()));
  EXPECT_EQ(FileSize(file), 1234u);
  EXPECT_EQ(FileSize(dir.path() + L"missing"), 0u);
  EXPECT_TRUE(RemoveFile(file));
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(RemoveFile(file));
  EXPECT_FALSE(DirectoryExists(L""));
  EXPECT_FALSE(DirectoryExists(dir.path() + L"missing\\deeper"));
}

TEST(CreateDirectoryTree, NestedExistingAndMissingDrive) {
  TempFolder dir;
  const std::wstring deep = dir.path() + L"a\\b/c\\";
  EXPECT_TRUE(CreateDirectoryTree(deep));
  EXPECT_TRUE(DirectoryExists(dir.path() + L"a\\b\\c"));
  EXPECT_TRUE(CreateDirectoryTree(deep));  // already there: still true

  // The first drive letter that maps to nothing in this prefix.
  std::wstring missing;
  const DWORD drives = ::GetLogicalDrives();
  for (int i = 25; i >= 3 && missing.empty(); --i) {
    if (!(drives & (1u << i))) missing = std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":\\x\\y";
  }
  ASSERT_FALSE(missing.empty());
  EXPECT_FALSE(CreateDirectoryTree(missing));
}

TEST(DeleteTree, RemovesNestedFoldersAndSingleFiles) {
  TempFolder dir;
  const std::wstring root = dir.path() + L"tree";
  ASSERT_TRUE(CreateDirectoryTree(root + L"\\x\\y"));
  dir.WriteFile(L"tree\\x\\y\\f.txt", "1");
  dir.WriteFile(L"tree\\g.txt", "2");
  EXPECT_TRUE(DeleteTree(root));
  EXPECT_FALSE(DirectoryExists(root));

  const std::wstring single = dir.WriteFile(L"single.txt", "3");
  EXPECT_TRUE(DeleteTree(single));
  EXPECT_FALSE(FileExists(single));
  EXPECT_TRUE(DeleteTree(dir.path() + L"never-existed"));
  EXPECT_FALSE(DeleteTree(L""));
}

TEST(DeleteTree, ReadOnlyFileStaysAndSoDoesItsFolder) {
  TempFolder dir;
  const std::wstring root = dir.path() + L"locked";
  ASSERT_TRUE(CreateDirectoryTree(root));
  const std::wstring keep = dir.WriteFile(L"locked\\keep.txt", "k");
  dir.WriteFile(L"locked\\gone.txt", "g");
  ASSERT_TRUE(::SetFileAttributesW(keep.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(DeleteTree(root));
  EXPECT_TRUE(FileExists(keep));
  EXPECT_FALSE(FileExists(root + L"\\gone.txt"));
  EXPECT_TRUE(DirectoryExists(root));
}

TEST(Md5HexOfFile, MatchesInMemoryDigestAcrossReadBlocks) {
  TempFolder dir;
  std::string data(3 * (1 << 20) + 4097, '\0');
  uint32_t seed = 12345;
  for (char& c : data) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 24);
  }
  const std::wstring file = dir.WriteFile(L"large.bin", data);
  EXPECT_EQ(Md5HexOfFile(file), Md5Hex(data));
  EXPECT_EQ(Md5HexOfFile(dir.WriteFile(L"abc.txt", "abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5HexOfFile(dir.WriteFile(L"empty.txt", "")), "");
  EXPECT_EQ(Md5HexOfFile(dir.path() + L"missing.bin"), "");
  EXPECT_EQ(Md5HexOfFile(dir.path()), "");
}
