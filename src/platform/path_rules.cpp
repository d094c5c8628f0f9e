#include "platform/path_rules.h"

#include <cmath>

#include "platform/text.h"

std::wstring EnsureTrailingSeparator(const std::wstring& path) {
  if (path.empty() || path.back() == L'\\' || path.back() == L'/') return path;
  return path + L'\\';
}

std::wstring ExtensionOf(const std::wstring& path) {
  const auto dot = path.rfind(L'.');
  if (dot == std::wstring::npos) return std::wstring();
  const auto separator = path.find_last_of(L"\\/");
  if (separator != std::wstring::npos && separator > dot) return std::wstring();
  return path.substr(dot);
}

bool IsValidLocalPath(const std::wstring& path) {
  if (path.find(L"\\\\") != std::wstring::npos) return false;
  const auto pieces = Split(path, L"\\");
  if (pieces.empty()) return false;
  const std::wstring& drive = pieces.front();
  // The drive piece must be the path's very start: Split drops a leading separator.
  if (drive.size() != 2 || path.compare(0, 2, drive) != 0) return false;
  const wchar_t letter = drive[0];
  if (!((letter >= L'a' && letter <= L'z') || (letter >= L'A' && letter <= L'Z'))) return false;
  if (drive[1] != L':') return false;
  for (size_t i = 1; i < pieces.size(); ++i) {
    if (pieces[i].find_first_of(L"\\/:*?\"<>|") != std::wstring::npos) return false;
  }
  return true;
}

double ScreenScaleFrom(int desktopHorzRes, int horzRes, int logPixelsX) {
  const double x = horzRes != 0 ? static_cast<double>(desktopHorzRes) / horzRes : 1.0;
  if (std::fabs(x) - 1.0 < 1e-8) return logPixelsX / 0.96 / 100.0;
  return x;
}
