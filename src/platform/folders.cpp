#include "platform/folders.h"

#include <shlobj.h>

#include "platform/files.h"
#include "platform/path_rules.h"
#include "platform/system_queries.h"
#include "platform/text.h"
#include "platform/windows_api.h"

namespace {

// Owns the scratch folder for the lifetime of the process: made during static initialisation
// and deleted by the static destructor, so every exit path through main cleans up.
class ScratchFolder {
 public:
  ScratchFolder() {
    // The folder must be this process's own: another process started in the same second would
    // otherwise share it and delete it under us when it exits. A taken name moves on to the next
    // second's name, which keeps the "VelmorPkg_<unix time>" form.
    const std::wstring root = GetLargestDisk();
    const int64_t now = UnixTime();
    for (int64_t stamp = now; stamp < now + 100; ++stamp) {
      const std::wstring candidate = root + L"VelmorPkg_" + AsciiToWide(FormatInt64(stamp));
      if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
        path_ = EnsureTrailingSeparator(candidate);
        return;
      }
      if (::GetLastError() != ERROR_ALREADY_EXISTS) {
        if (CreateDirectoryTree(candidate)) path_ = EnsureTrailingSeparator(candidate);
        return;
      }
    }
  }
  ~ScratchFolder() {
    if (!path_.empty()) DeleteTree(path_);
    path_.clear();
  }
  const std::wstring& path() const { return path_; }

 private:
  static std::wstring AsciiToWide(const std::string& digits) {
    return std::wstring(digits.begin(), digits.end());
  }
  std::wstring path_;
};

ScratchFolder& Scratch() {
  static ScratchFolder folder;
  return folder;
}

// Forces the folder into existence during static initialisation, before main.
[[maybe_unused]] const bool kScratchMadeAtLoad = (Scratch(), true);

}  // namespace

std::wstring GetCacheFolder() {
  static std::wstring cache;
  if (cache.empty()) {
    wchar_t appData[MAX_PATH] = {};
    if (::SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE)) {
      cache = EnsureTrailingSeparator(appData) + L"VelmorPkg\\";
      if (!DirectoryExists(cache)) CreateDirectoryTree(cache);
    }
  }
  return cache;
}

std::wstring GetScratchFolder() { return Scratch().path(); }
