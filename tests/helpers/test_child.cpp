// A child process for the process tests:
//   test_child exit N            ends with exit code N
//   test_child sleep MS N        sleeps MS milliseconds, then ends with N
//   test_child append FILE TEXT  appends TEXT and a newline to FILE, then ends with 0
//   test_child show FILE         writes the show-window flag it was started with to FILE
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wcscmp(argv[1], L"exit") == 0) return std::wcstol(argv[2], nullptr, 10);
  if (argc >= 4 && std::wcscmp(argv[1], L"sleep") == 0) {
    ::Sleep(static_cast<DWORD>(std::wcstol(argv[2], nullptr, 10)));
    return std::wcstol(argv[3], nullptr, 10);
  }
  if (argc >= 4 && std::wcscmp(argv[1], L"append") == 0) {
    FILE* f = _wfopen(argv[2], L"ab");
    if (!f) return 2;
    char text[512] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, argv[3], -1, text, sizeof text - 1, nullptr, nullptr);
    std::fprintf(f, "%s\n", text);
    std::fclose(f);
    return 0;
  }
  if (argc >= 3 && std::wcscmp(argv[1], L"show") == 0) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    FILE* f = _wfopen(argv[2], L"wb");
    if (!f) return 2;
    std::fprintf(f, "%lu %u", static_cast<unsigned long>(startup.dwFlags & STARTF_USESHOWWINDOW),
                 static_cast<unsigned>(startup.wShowWindow));
    std::fclose(f);
    return 0;
  }
  return 1;
}
