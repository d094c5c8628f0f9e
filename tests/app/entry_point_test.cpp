// LumacutSetup.exe itself, started as a real process.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/product.h"
#include "platform/files.h"
#include "platform/unique_handle.h"
#include "support/product_fixture.h"

namespace {

std::wstring Installer() { return BuildTreeFolder() + L"LumacutSetup.exe"; }

// Stands in for a running first instance: owns the mutex and, on request, a window of the main
// window class.
class FirstInstance {
 public:
  explicit FirstInstance(bool withWindow)
      : mutex_(::CreateMutexW(nullptr, TRUE, kInstanceMutexName)) {
    if (!withWindow) return;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kMainWindowClass;
    ::RegisterClassW(&windowClass);
    window_ = ::CreateWindowExW(0, kMainWindowClass, L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, ::GetModuleHandleW(nullptr), nullptr);
  }
  ~FirstInstance() {
    if (window_) ::DestroyWindow(window_);
    ::UnregisterClassW(kMainWindowClass, ::GetModuleHandleW(nullptr));
  }
  HWND window() const { return window_; }

  // True when WM_BRING_TO_FRONT reaches the window within ms.
  bool ReceivesBringToFront(DWORD ms) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == kWmBringToFront && msg.hwnd == window_ && msg.wParam == 0 &&
            msg.lParam == 0) {
          return true;
        }
        ::DispatchMessageW(&msg);
      }
      ::Sleep(10);
    }
    return false;
  }

 private:
  UniqueKernelHandle mutex_;
  HWND window_ = nullptr;
};

class EntryPointTest : public testing::Test {
 protected:
  void SetUp() override { RemoveProductFolder(); }
  void TearDown() override { RemoveProductFolder(); }
};

}  // namespace

TEST_F(EntryPointTest, SecondInstancePostsBringToFrontAndLeaves) {
  FirstInstance first(true);
  ASSERT_NE(first.window(), nullptr);
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(RunProgram(Installer(), L"", 10000), 0);
  EXPECT_LT(::GetTickCount() - start, 5000u);
  EXPECT_TRUE(first.ReceivesBringToFront(2000));
  EXPECT_FALSE(DirectoryExists(ProductFolder())) << "the second instance does nothing else";
}

TEST_F(EntryPointTest, SecondInstanceWithoutAWindowStillLeaves) {
  FirstInstance first(false);
  EXPECT_EQ(RunProgram(Installer(), L"", 10000), 0);
  EXPECT_FALSE(DirectoryExists(ProductFolder()));
}

// On a machine's first run the start keys are written before the product folder exists, so
// they are lost; the next run finds the folder and records them.
TEST_F(EntryPointTest, FirstRunCreatesTheProductFolderOnly) {
  EXPECT_EQ(RunProgram(Installer(), L"", 30000), 0);
  EXPECT_TRUE(DirectoryExists(ProductFolder()));
  EXPECT_FALSE(FileExists(InstallRecordPath()));

  EXPECT_EQ(RunProgram(Installer(), L"", 30000), 0);
  EXPECT_EQ(RecordKey(L"md5"), L"");
  EXPECT_EQ(RecordKey(L"path"), L"");
  EXPECT_NE(RecordKey(L"begin_timestamp"), L"<absent>");
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(_wcsicmp(RecordKey(L"launch_appname").c_str(), self), 0);
}

// The executable carries its icon group 102 in the usual sizes and a manifest that asks for
// administrator rights.
TEST(InstallerResources, IconGroupAndElevatingManifest) {
  HMODULE module = ::LoadLibraryExW(Installer().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(102), MAKEINTRESOURCEW(14));
  ASSERT_NE(group, nullptr);
  // GRPICONDIR: reserved, type, count, then 14-byte entries whose first byte is the width
  // (0 meaning 256).
  const auto* dir = static_cast<const unsigned char*>(::LockResource(::LoadResource(module, group)));
  const int count = dir[4] | (dir[5] << 8);
  std::vector<int> widths;
  for (int i = 0; i < count; ++i) widths.push_back(dir[6 + 14 * i] == 0 ? 256 : dir[6 + 14 * i]);
  for (int size : {16, 32, 48, 256}) {
    EXPECT_NE(std::find(widths.begin(), widths.end(), size), widths.end()) << size;
  }

  HRSRC manifest = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr);
  const std::string text(static_cast<const char*>(::LockResource(::LoadResource(module, manifest))),
                         ::SizeofResource(module, manifest));
  EXPECT_NE(text.find("level=\"requireAdministrator\""), std::string::npos);
  ::FreeLibrary(module);
}
