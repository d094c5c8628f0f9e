#include "platform/system_queries.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/files.h"
#include "platform/process.h"
#include "support/temp_folder.h"

namespace {

// A registry key made for one test and deleted with its values afterwards.
class TestKey {
 public:
  TestKey(HKEY root, std::wstring subkey, REGSAM view) : root_(root), subkey_(std::move(subkey)), view_(view) {
    ::RegCreateKeyExW(root_, subkey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, &key_,
                      nullptr);
  }
  ~TestKey() {
    if (key_) ::RegCloseKey(key_);
    ::RegDeleteKeyExW(root_, subkey_.c_str(), view_, 0);
  }
  bool ok() const { return key_ != nullptr; }
  void Set(const wchar_t* name, const std::wstring& value) {
    ::RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }

 private:
  HKEY root_;
  std::wstring subkey_;
  REGSAM view_;
  HKEY key_ = nullptr;
};

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring UniqueName(const wchar_t* stem) {
  return std::wstring(stem) + std::to_wstring(::GetCurrentProcessId());
}

}  // namespace

TEST(GetFreeSpace, FixedDriveHasRoomOthersHaveNone) {
  EXPECT_GT(GetFreeSpace(L"C:\\windows\\system32"), 0u);
  EXPECT_EQ(GetFreeSpace(L"C:\\windows"), GetFreeSpace(L"C:\\"));
  EXPECT_EQ(GetFreeSpace(L"\\\\server\\share\\folder"), 0u);
  EXPECT_EQ(GetFreeSpace(L"relative\\folder"), 0u);
  EXPECT_EQ(GetFreeSpace(L""), 0u);
}

TEST(GetLargestDisk, WritableRootWithMostRoomAndNoProbeLeftBehind) {
  const std::wstring root = GetLargestDisk();
  ASSERT_GE(root.size(), 3u);
  EXPECT_EQ(root.substr(1), L":\\");
  const uint64_t best = GetFreeSpace(root);
  const DWORD drives = ::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    const std::wstring other = std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":\\";
    // Free space drifts while other programs write, so allow a little slack.
    EXPECT_LE(GetFreeSpace(other), best + (64u << 20)) << "drive " << i;
  }
  EXPECT_FALSE(DirectoryExists(root + L"VelmorPkg"));
}

// The drives of this prefix share one file system, so which one has the most room can change
// between two calls while other tests write; the folders are therefore placed on every drive.
TEST(GetLargestDisk, KeepsAFolderOfTheProbeNameThatWasAlreadyThere) {
  std::vector<std::wstring> markers;
  const DWORD drives = ::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    const std::wstring root = std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":\\";
    if (GetFreeSpace(root) == 0 || DirectoryExists(root + L"VelmorPkg")) continue;
    if (!CreateDirectoryTree(root + L"VelmorPkg")) continue;
    const std::wstring marker = root + L"VelmorPkg\\keep.txt";
    ::CloseHandle(::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    markers.push_back(marker);
  }
  ASSERT_FALSE(markers.empty());
  EXPECT_FALSE(GetLargestDisk().empty());
  for (const auto& marker : markers) {
    EXPECT_TRUE(FileExists(marker)) << marker.c_str();
    DeleteTree(FolderOf(marker));
  }
}

TEST(SystemQueries, VersionAndBitness) {
  EXPECT_TRUE(Is64BitWindows());
  const int cls = GetOsVersionClass();
  EXPECT_GE(cls, 0);
  EXPECT_LE(cls, 6);
  EXPECT_EQ(GetOsVersionClass(), cls);
}

TEST(ProcessQueries, OwnImagePathAndChildsParent) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring image;
  ASSERT_TRUE(GetProcessImagePath(::GetCurrentProcessId(), &image));
  EXPECT_EQ(_wcsicmp(image.c_str(), self), 0) << image.c_str();

  uint32_t parent = 0;
  EXPECT_TRUE(GetParentProcessId(::GetCurrentProcessId(), &parent));
  CVelmorBasedProcess child(L"\"" + SiblingExecutable(L"test_child.exe") + L"\" sleep 3000 0");
  ASSERT_TRUE(child.Start());
  ASSERT_TRUE(GetParentProcessId(child.process_id(), &parent));
  EXPECT_EQ(parent, ::GetCurrentProcessId());
  ::TerminateProcess(child.process_handle(), 0);

  EXPECT_FALSE(GetParentProcessId(0xFFFFFFF0u, &parent));
  EXPECT_FALSE(GetProcessImagePath(0xFFFFFFF0u, &image));
}

// A copy of the helper program named like a browser shows up in the browser list.
TEST(ProcessQueries, ListsRunningBrowsersByExecutableName) {
  TempFolder dir;
  const std::wstring fake = dir.path() + L"chrome.exe";
  ASSERT_TRUE(::CopyFileW(SiblingExecutable(L"test_child.exe").c_str(), fake.c_str(), FALSE));
  {
    CVelmorBasedProcess browser(L"\"" + fake + L"\" sleep 5000 0");
    ASSERT_TRUE(browser.Start());
    std::map<uint32_t, std::wstring> browsers;
    ASSERT_TRUE(ListBrowserProcesses(&browsers));
    ASSERT_EQ(browsers.count(browser.process_id()), 1u);
    EXPECT_EQ(browsers[browser.process_id()], L"chrome.exe");
    EXPECT_EQ(browsers.count(::GetCurrentProcessId()), 0u);
    ::TerminateProcess(browser.process_handle(), 0);
  }
}

TEST(GetInstallDir, InstallLocationBeforeDisplayIconUserBeforeMachine) {
  const std::wstring name = UniqueName(L"LumacutTestApp");
  std::wstring folder;
  EXPECT_FALSE(GetInstallDir(name, &folder));
  {
    TestKey machine(HKEY_LOCAL_MACHINE, kUninstall + name, KEY_WOW64_64KEY);
    ASSERT_TRUE(machine.ok());
    machine.Set(L"DisplayIcon", L"C:\\Apps\\X\\x.exe");
    ASSERT_TRUE(GetInstallDir(name, &folder));
    EXPECT_EQ(folder, L"C:\\Apps\\X");

    TestKey user(HKEY_CURRENT_USER, kUninstall + name, KEY_WOW64_64KEY);
    user.Set(L"DisplayIcon", L"D:\\User\\Y\\y.exe");
    ASSERT_TRUE(GetInstallDir(name, &folder));
    EXPECT_EQ(folder, L"D:\\User\\Y");

    // Any InstallLocation beats every DisplayIcon, the machine's included.
    machine.Set(L"InstallLocation", L"E:\\Machine\\Z\\");
    ASSERT_TRUE(GetInstallDir(name, &folder));
    EXPECT_EQ(folder, L"E:\\Machine\\Z\\");
    user.Set(L"InstallLocation", L"F:\\User\\W");
    ASSERT_TRUE(GetInstallDir(name, &folder));
    EXPECT_EQ(folder, L"F:\\User\\W");
  }
  EXPECT_FALSE(GetInstallDir(name, &folder));
}

TEST(ReadRegistryString, ChosenViewOnlyAndLongValuesFail) {
  const std::wstring sub = L"SOFTWARE\\" + UniqueName(L"LumacutViewTest");
  TestKey only32(HKEY_LOCAL_MACHINE, sub, KEY_WOW64_32KEY);
  ASSERT_TRUE(only32.ok());
  only32.Set(L"v", L"from 32");
  only32.Set(L"long", std::wstring(300, L'x'));
  only32.Set(L"edge", std::wstring(259, L'y'));
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, sub, L"v", false), L"from 32");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, sub, L"v", true), L"");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, sub, L"long", false), L"");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, sub, L"edge", false), std::wstring(259, L'y'));
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, sub, L"missing", false), L"");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, sub + L"\\nope", L"v", false), L"");
}
