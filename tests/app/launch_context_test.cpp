#include "app/launch_context.h"

#include <gtest/gtest.h>

#include "app/launch_rules.h"

#include "platform/files.h"
#include "platform/text.h"
#include "support/product_fixture.h"
#include "support/temp_folder.h"

namespace {

// Copies a launch probe under a new file name, runs it and returns what it reported.
class LaunchProbe {
 public:
  LaunchProbe(const wchar_t* build, const std::wstring& fileName)
      : path_(dir_.path() + fileName) {
    ::CopyFileW(SiblingExecutable(build).c_str(), path_.c_str(), FALSE);
  }
  // Creation and last-write times of the copy, in Unix seconds, as the system reports them.
  std::pair<int64_t, int64_t> Times() const {
    CFileStream stream(OpenFile(kReadShared, path_));
    int64_t created = 0, accessed = 0, written = 0;
    stream.GetTimes(&created, &accessed, &written);
    return {created, written};
  }
  std::map<std::string, std::string> Run() {
    const std::wstring out = dir_.path() + L"report.txt";
    EXPECT_EQ(RunProgram(path_, L"\"" + out + L"\"", 30000), 0);
    return ReadKeyValues(out);
  }

 private:
  TempFolder dir_;
  std::wstring path_;
};

class LaunchContextTest : public testing::Test {
 protected:
  void SetUp() override {
    RemoveUninstallEntry();
    CreateProductFolder();
  }
  void TearDown() override {
    RemoveUninstallEntry();
    RemoveProductFolder();
  }
};

}  // namespace

TEST_F(LaunchContextTest, ChannelFromTheFileNameOfARealExecutable) {
  struct Case {
    const wchar_t* file;
    const char* package;
    const char* channel;
  } cases[] = {
      {L"setup_ab12cd.exe", "setup_ab12cd", "ab12cd"},
      {L"setup_Uab12.exe", "setup_Uab12", "ab12"},
      {L"setup_abcdefghij.exe", "setup_abcdefghij", "abcdefgh"},
      {L"setup.exe", "setup", ""},
      {L"setup_.exe", "setup_", ""},
      {L"setup_Uabcdefgh.exe", "setup_Uabcdefgh", "abcdefgh"},
      {L"setup_a_b.exe", "setup_a_b", "a_b"},
  };
  for (const auto& c : cases) {
    auto report = LaunchProbe(L"launch_probe.exe", c.file).Run();
    EXPECT_EQ(report["package"], c.package);
    EXPECT_EQ(report["channel"], c.channel) << c.package;
    EXPECT_EQ(report["own_version"], "1.2.3.4");
  }
}

// The app-store rule reads the executable's own version resource, whatever its file is called.
TEST_F(LaunchContextTest, AppStoreVersionOverridesTheFileNameChannel) {
  struct Case {
    const wchar_t* build;
    const char* version;
    const char* channel;
  } cases[] = {
      {L"launch_probe_1_97_0_5.exe", "1.97.0.5", "qihu3600"},
      {L"launch_probe_1_97_0.exe", "1.97.0", "ab12cd"},
      {L"launch_probe_1_100_0_5.exe", "1.100.0.5", "ab12cd"},
  };
  for (const auto& c : cases) {
    auto report = LaunchProbe(c.build, L"setup_ab12cd.exe").Run();
    EXPECT_EQ(report["own_version"], c.version);
    EXPECT_EQ(report["channel"], c.channel) << c.version;
  }
}

// Wine reports a file's creation time as its last write, so a real copy shows the equal-times
// case; the difference rule itself is tested with DownloadTimeOf.
TEST_F(LaunchContextTest, DownloadTimeFromTheExecutablesFileTimes) {
  LaunchProbe probe(L"launch_probe.exe", L"setup_x.exe");
  const auto times = probe.Times();
  EXPECT_EQ(probe.Run()["download_time"],
            std::to_string(DownloadTimeOf(times.first, times.second)));
}

TEST_F(LaunchContextTest, ParentAndBeginTimestampReachTheInstallRecord) {
  const int64_t before = UnixTime();
  auto report = LaunchProbe(L"launch_probe.exe", L"setup_x.exe").Run();
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(report["parent"], "app_tests.exe");
  EXPECT_EQ(_wcsicmp(RecordKey(L"launch_appname").c_str(), self), 0);
  const int64_t begin = std::stoll(RecordKey(L"begin_timestamp"));
  EXPECT_GE(begin, before);
  EXPECT_LE(begin, UnixTime());
  EXPECT_EQ(report["stream_open"], "1");
}

TEST_F(LaunchContextTest, FirstInstallFlagFollowsThe32BitUninstallEntry) {
  EXPECT_EQ(LaunchProbe(L"launch_probe.exe", L"setup.exe").Run()["first_install"], "1");
  SetUninstallDisplayIcon(KEY_WOW64_64KEY, L"C:\\x.exe");
  EXPECT_EQ(LaunchProbe(L"launch_probe.exe", L"setup.exe").Run()["first_install"], "1")
      << "installed for the 64-bit view only";
  SetUninstallDisplayIcon(KEY_WOW64_32KEY, L"C:\\x.exe");
  EXPECT_EQ(LaunchProbe(L"launch_probe.exe", L"setup.exe").Run()["first_install"], "0");
}
