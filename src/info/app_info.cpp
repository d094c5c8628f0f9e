#include "info/app_info.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "app/product.h"
#include "platform/files.h"
#include "platform/unique_handle.h"

namespace {

// The product's setup program is a 32-bit program, so its entry lives in the 32-bit view; the
// 64-bit build names that view explicitly.
std::wstring ReadDisplayIcon() {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductUninstallKey, 0, KEY_READ | KEY_WOW64_32KEY,
                      &raw) != ERROR_SUCCESS) {
    return std::wstring();
  }
  UniqueRegKey key(raw);
  std::vector<wchar_t> buffer(1024, L'\0');
  DWORD bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
  if (::RegQueryValueExW(key.get(), L"DisplayIcon", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer.data()), &bytes) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return buffer.data();
}

}  // namespace

bool CAppInfo::Refresh() {
  try {
    product_path_.clear();
    product_version_.clear();
    std::wstring path = ReadDisplayIcon();
    // "C:\...\app.exe,0" names an icon, not a file: it counts as not installed.
    if (!path.empty() && !FileExists(path)) path.clear();
    product_path_ = path;
    if (!product_path_.empty()) product_version_ = GetFileVersion(product_path_);
    return true;
  } catch (...) {
    return false;
  }
}

std::wstring CAppInfo::GetFileVersion(const std::wstring& path) {
  std::wstring file = path;
  if (file.empty()) {
    wchar_t self[1024] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, 1023);
    if (length == 0 || length >= 1023) return std::wstring();
    file = self;
  }
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return std::wstring();
  std::vector<unsigned char> block(size * 2 + 2);
  if (!::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return std::wstring();

  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &length) ||
      length < sizeof(Translation)) {
    return std::wstring();
  }
  wchar_t subBlock[64];
  std::swprintf(subBlock, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translations[0].language,
                translations[0].codePage, L"ProductVersion");
  wchar_t* value = nullptr;
  if (!::VerQueryValueW(block.data(), subBlock, reinterpret_cast<void**>(&value), &length) ||
      !value || length == 0) {
    return std::wstring();
  }
  return std::wstring(value, wcsnlen(value, length));
}

IAppInfo* GetAppInfo() {
  static const std::unique_ptr<CAppInfo> info = []() -> std::unique_ptr<CAppInfo> {
    try {
      auto made = std::make_unique<CAppInfo>();
      made->Refresh();
      return made;
    } catch (...) {
      return nullptr;
    }
  }();
  return info.get();
}
