#include "app/install_record.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/files.h"
#include "support/product_fixture.h"
#include "support/temp_folder.h"

namespace {

class InstallRecordTest : public testing::Test {
 protected:
  void SetUp() override { RemoveProductFolder(); }
  void TearDown() override { RemoveProductFolder(); }

  // A record as an earlier run left it, pointing at a setup program with the given bytes.
  std::wstring Remember(const std::string& setupBytes, const std::wstring& md5) {
    CreateProductFolder();
    const std::wstring setup = setups_.WriteFile(L"setup.exe", setupBytes);
    const std::string ini = "[General]\r\nmd5=" + std::string(md5.begin(), md5.end()) +
                            "\r\npath=" + std::string(setup.begin(), setup.end()) +
                            "\r\nchannel_id=ab12cd\r\n";
    std::ofstream(InstallRecordPath().c_str(), std::ios::binary) << ini;
    return setup;
  }

  TempFolder setups_;
};

const wchar_t kAbcMd5[] = L"900150983cd24fb0d6963f7d28e17f72";  // MD5 of "abc"

}  // namespace

TEST_F(InstallRecordTest, WithoutAFolderNothingIsWritten) {
  CInstallRecord record;
  record.SetBeginTimestamp(L"1733750000");
  EXPECT_FALSE(DirectoryExists(ProductFolder()));
  EXPECT_FALSE(FileExists(InstallRecordPath()));
  EXPECT_TRUE(record.md5().empty());
}

TEST_F(InstallRecordTest, NewRecordHasEmptyDownloadKeys) {
  CreateProductFolder();
  CInstallRecord record;
  EXPECT_EQ(RecordKey(L"md5"), L"");
  EXPECT_EQ(RecordKey(L"path"), L"");
  EXPECT_TRUE(record.path().empty());
}

TEST_F(InstallRecordTest, IntactDownloadIsRememberedWithoutRewriting) {
  const std::wstring setup = Remember("abc", kAbcMd5);
  const std::string before = ReadFileBytes(InstallRecordPath());
  CInstallRecord record;
  EXPECT_EQ(record.md5(), kAbcMd5);
  EXPECT_EQ(record.path(), setup);
  EXPECT_EQ(ReadFileBytes(InstallRecordPath()), before);
}

TEST_F(InstallRecordTest, ModifiedDeletedOrUpperCaseDownloadIsForgotten) {
  struct Case {
    const char* name;
    std::string bytes;
    std::wstring md5;
    bool remove;
  } cases[] = {
      {"modified", "abd", kAbcMd5, false},
      {"deleted", "abc", kAbcMd5, true},
      {"upper-case digest", "abc", L"900150983CD24FB0D6963F7D28E17F72", false},
  };
  for (const auto& c : cases) {
    const std::wstring setup = Remember(c.bytes, c.md5);
    if (c.remove) RemoveFile(setup);
    CInstallRecord record;
    EXPECT_TRUE(record.md5().empty()) << c.name;
    EXPECT_TRUE(record.path().empty()) << c.name;
    EXPECT_EQ(RecordKey(L"md5"), L"") << c.name;
    EXPECT_EQ(RecordKey(L"path"), L"") << c.name;
    EXPECT_EQ(RecordKey(L"channel_id"), L"ab12cd") << c.name << ": other keys stay";
  }
}

TEST_F(InstallRecordTest, VerifyDownloadWritesOnlyWhenAskedAndOnlyOnChange) {
  CreateProductFolder();
  CInstallRecord record;
  const std::wstring setup = setups_.WriteFile(L"dl.exe", "abc");
  EXPECT_FALSE(record.VerifyDownload(L"", setup, false));
  EXPECT_FALSE(record.VerifyDownload(kAbcMd5, L"", false));
  EXPECT_TRUE(record.VerifyDownload(kAbcMd5, setup, true));
  EXPECT_EQ(RecordKey(L"md5"), L"") << "kept in memory only";
  EXPECT_EQ(record.path(), setup);

  // Already the members: no write even when asked.
  EXPECT_TRUE(record.VerifyDownload(kAbcMd5, setup, false));
  EXPECT_EQ(RecordKey(L"md5"), L"");

  CInstallRecord fresh;
  EXPECT_TRUE(fresh.VerifyDownload(kAbcMd5, setup, false));
  EXPECT_EQ(RecordKey(L"md5"), kAbcMd5);
  EXPECT_EQ(RecordKey(L"path"), setup);

  EXPECT_FALSE(fresh.VerifyDownload(L"00000000000000000000000000000000", setup, false));
  EXPECT_EQ(RecordKey(L"md5"), L"");
  EXPECT_EQ(RecordKey(L"path"), L"");
}

TEST_F(InstallRecordTest, SettersWriteGeneralKeysAndIgnoreEmptyValues) {
  CreateProductFolder();
  CInstallRecord record;
  record.SetChannelId(L"ab12cd");
  record.SetChannelId(L"");
  record.SetSemFlag(false);
  record.SetInstall();
  record.SetAppId(L"51730946");
  record.SetWelcomeUrl(L"http://127.0.0.1/welcome?channel=ab12cd&a=b");
  record.SetBeginTimestamp(L"1733750000");
  record.SetEndTimestamp(L"1733750100");
  record.SetLaunchAppName(L"C:\\Browser\\chrome.exe");
  record.SetMid(L"m");
  record.SetCam(L"c");
  record.SetSessionId(L"s");
  record.SetAppVersion(L"1.2.3.4");
  record.SetAdvertisingAccount(L"acct");
  const struct {
    const wchar_t* key;
    const wchar_t* value;
  } expected[] = {
      {L"channel_id", L"ab12cd"},
      {L"is_sem", L"0"},
      {L"install", L"1"},
      {L"app_id", L"51730946"},
      {L"welcome_url", L"http://127.0.0.1/welcome?channel=ab12cd&a=b"},
      {L"begin_timestamp", L"1733750000"},
      {L"end_timestamp", L"1733750100"},
      {L"launch_appname", L"C:\\Browser\\chrome.exe"},
      {L"mid", L"m"},
      {L"cam", L"c"},
      {L"session_id", L"s"},
      {L"app_version", L"1.2.3.4"},
      {L"advertising_account_name", L"acct"},
  };
  for (const auto& e : expected) EXPECT_EQ(RecordKey(e.key), e.value) << e.key;
  record.SetSemFlag(true);
  EXPECT_EQ(RecordKey(L"is_sem"), L"1");
  EXPECT_EQ(record.launch_appname(), L"C:\\Browser\\chrome.exe");

  // New keys are appended to the one section; the construction's keys come first.
  const std::string ini = ReadFileBytes(InstallRecordPath());
  EXPECT_EQ(ini.find("[General]"), 0u);
  EXPECT_LT(ini.find("md5="), ini.find("channel_id="));
  EXPECT_LT(ini.find("channel_id="), ini.find("advertising_account_name="));
}
