#include "browser/browser_names.h"

namespace {

struct KnownBrowser {
  const wchar_t* executable;
  int type;
};

// Order matters: "360chrome.exe" must be tried before "chrome.exe", which it contains.
constexpr KnownBrowser kKnownBrowsers[] = {
    {L"360chrome.exe", 1},   {L"360se.exe", 2},    {L"SogouExplorer.exe", 8},
    {L"firefox.exe", 9},     {L"chrome.exe", 3},   {L"ChromeCore.exe", 4},
    {L"iexplore.exe", 6},    {L"liebao.exe", 10},  {L"QQBrowser.exe", 7},
    {L"UCBrowser.exe", 11},  {L"MicrosoftEdge.exe", 5},
};

}  // namespace

int GetBrowserType(const std::wstring& name) {
  for (const auto& browser : kKnownBrowsers) {
    if (name.find(browser.executable) != std::wstring::npos) return browser.type;
  }
  return 99;
}

bool IsKnownBrowser(const std::wstring& name) { return GetBrowserType(name) != 99; }
