#include "platform/encoding.h"

#include <climits>

#include "platform/windows_api.h"

namespace {

std::wstring ToWide(UINT codePage, const std::string& text) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(needed), L'\0');
  if (::MultiByteToWideChar(codePage, 0, text.data(), size, &out[0], needed) != needed) {
    return std::wstring();
  }
  return out;
}

std::string FromWide(UINT codePage, const std::wstring& text) {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  const int size = static_cast<int>(text.size());
  const int needed =
      ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string out(static_cast<size_t>(needed), '\0');
  if (::WideCharToMultiByte(codePage, 0, text.data(), size, &out[0], needed, nullptr, nullptr) !=
      needed) {
    return std::string();
  }
  return out;
}

}  // namespace

std::wstring AnsiToWide(const std::string& text) { return ToWide(CP_ACP, text); }
std::string WideToAnsi(const std::wstring& text) { return FromWide(CP_ACP, text); }
std::wstring Utf8ToWide(const std::string& text) { return ToWide(CP_UTF8, text); }
std::string WideToUtf8(const std::wstring& text) { return FromWide(CP_UTF8, text); }
