#include "browser/browser_names.h"

#include <gtest/gtest.h>

TEST(BrowserNames, TypeIsFirstContainedNameInTableOrder) {
  struct Case {
    const wchar_t* name;
    int type;
  } cases[] = {
      {L"360chrome.exe", 1},  // also contains chrome.exe
      {L"C:\\x\\360se.exe", 2},
      {L"SogouExplorer.exe", 8},
      {L"firefox.exe", 9},
      {L"chrome.exe", 3},
      {L"ChromeCore.exe", 4},
      {L"iexplore.exe", 6},
      {L"liebao.exe", 10},
      {L"QQBrowser.exe", 7},
      {L"UCBrowser.exe", 11},
      {L"MicrosoftEdge.exe", 5},
      {L"Chrome.exe", 99},  // case-sensitive
      {L"notepad.exe", 99},
      {L"", 99},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetBrowserType(c.name), c.type) << c.name;
    EXPECT_EQ(IsKnownBrowser(c.name), c.type != 99) << c.name;
  }
}
