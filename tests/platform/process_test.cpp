#include "platform/process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "platform/folders.h"
#include "support/temp_folder.h"

namespace {

std::wstring Child(const std::wstring& args) {
  return L"\"" + SiblingExecutable(L"test_child.exe") + L"\" " + args;
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(CVelmorBasedProcess, StartsHiddenAndReportsExitCode) {
  TempFolder dir;
  const std::wstring out = dir.path() + L"show.txt";
  {
    CVelmorBasedProcess child(Child(L"show \"" + out + L"\""));
    ASSERT_TRUE(child.Start());
    ASSERT_TRUE(child.WaitForExit(20000));
    uint32_t code = 99;
    ASSERT_TRUE(child.GetExitCode(&code));
    EXPECT_EQ(code, 0u);
  }
  EXPECT_EQ(ReadAll(out), "1 0") << "STARTF_USESHOWWINDOW with SW_HIDE";

  CVelmorBasedProcess failing(Child(L"exit 3"));
  ASSERT_TRUE(failing.Start());
  ASSERT_TRUE(failing.WaitForExit(20000));
  uint32_t code = 0;
  ASSERT_TRUE(failing.GetExitCode(&code));
  EXPECT_EQ(code, 3u);
}

TEST(CVelmorBasedProcess, StartTwiceStartsOneProcess) {
  TempFolder dir;
  const std::wstring log = dir.path() + L"runs.txt";
  {
    CVelmorBasedProcess child(Child(L"append \"" + log + L"\" ran"));
    EXPECT_TRUE(child.Start());
    const uint32_t first = child.process_id();
    EXPECT_TRUE(child.Start());
    EXPECT_EQ(child.process_id(), first);
  }  // the destructor waits for the child
  EXPECT_EQ(ReadAll(log), "ran\n");
}

TEST(CVelmorBasedProcess, DestructorWaitsUnlessToldNotTo) {
  const DWORD start = ::GetTickCount();
  { CVelmorBasedProcess child(Child(L"sleep 400 0")); ASSERT_TRUE(child.Start()); }
  EXPECT_GE(::GetTickCount() - start, 350u);

  HANDLE duplicate = nullptr;
  {
    CVelmorBasedProcess child(Child(L"sleep 5000 0"));
    ASSERT_TRUE(child.Start());
    child.set_wait_on_destroy(false);
    ::DuplicateHandle(::GetCurrentProcess(), child.process_handle(), ::GetCurrentProcess(),
                      &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS);
    uint32_t code = 0;
    EXPECT_FALSE(child.GetExitCode(&code)) << "still running";
  }
  EXPECT_EQ(::WaitForSingleObject(duplicate, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  ::TerminateProcess(duplicate, 0);
  ::CloseHandle(duplicate);
}

TEST(CVelmorBasedProcess, MissingProgramFailsToStart) {
  CVelmorBasedProcess child(L"\"C:\\no\\such\\program.exe\"");
  EXPECT_FALSE(child.Start());
  uint32_t code = 0;
  EXPECT_FALSE(child.GetExitCode(&code));
}

// The scratch folder made at load is gone once the process has exited normally, and a process
// started within the same second has its own folder, which survives the other's exit.
TEST(ScratchFolder, OwnedPerProcessAndDeletedAtExit) {
  TempFolder dir;
  const std::wstring out = dir.path() + L"scratch.txt";
  {
    CVelmorBasedProcess child(L"\"" + SiblingExecutable(L"scratch_child.exe") + L"\" \"" + out + L"\"");
    ASSERT_TRUE(child.Start());
  }
  const std::string scratch = ReadAll(out);
  ASSERT_FALSE(scratch.empty());
  const std::wstring theirs(scratch.begin(), scratch.end());
  EXPECT_FALSE(DirectoryExists(theirs)) << scratch;
  EXPECT_NE(theirs, GetScratchFolder());
  EXPECT_TRUE(DirectoryExists(GetScratchFolder()));
}
