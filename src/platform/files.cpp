#include "platform/files.h"

#include <vector>

#include "platform/md5.h"
#include "platform/path_rules.h"
#include "platform/text.h"
#include "platform/unique_handle.h"

namespace {

std::wstring FullPath(const std::wstring& path, std::wstring* filePart) {
  if (path.empty()) return std::wstring();
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    wchar_t* file = nullptr;
    const DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &file);
    if (length == 0) return std::wstring();
    if (length < buffer.size()) {
      if (filePart) *filePart = file ? std::wstring(file) : std::wstring();
      return std::wstring(buffer.data(), length);
    }
    buffer.resize(length + 1);
  }
}

bool QueryAttributes(const std::wstring& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, data) != 0;
}

}  // namespace

std::wstring FolderOf(const std::wstring& path) {
  std::wstring file;
  const std::wstring full = FullPath(path, &file);
  if (full.empty()) return std::wstring();
  return full.substr(0, full.size() - file.size());
}

std::wstring FileNameOf(const std::wstring& path) {
  std::wstring file;
  FullPath(path, &file);
  return file;
}

bool FileExists(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return !path.empty() && QueryAttributes(path, &data) &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::wstring& path) {
  if (path.empty()) return false;
  std::wstring probe = path;
  if (probe.back() != L'/' && probe.back() != L'\\') probe += L'/';
  probe += L'.';
  // Opening "<path>/." tells a missing parent (error 3) and a malformed name (123) apart from
  // everything else, before the attribute query answers the directory question itself.
  UniqueFileHandle h(::CreateFileW(probe.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.valid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) return false;
  }
  h.reset();
  WIN32_FILE_ATTRIBUTE_DATA data;
  return QueryAttributes(probe, &data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectoryTree(const std::wstring& path) {
  const auto pieces = Split(path, L"\\/");
  std::wstring prefix;
  for (size_t i = 0; i < pieces.size(); ++i) {
    prefix += pieces[i];
    prefix += L'/';
    if (i == 0) continue;  // the drive
    if (!::CreateDirectoryW(prefix.c_str(), nullptr)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) break;
    }
  }
  return DirectoryExists(path);
}

bool RemoveFile(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != 0; }

bool DeleteTree(const std::wstring& path) {
  if (path.empty()) return false;
  const std::wstring folder = EnsureTrailingSeparator(path);
  WIN32_FIND_DATAW entry;
  bool listed = false;
  {
    UniqueFindHandle find(::FindFirstFileW((folder + L"*").c_str(), &entry));
    if (find.valid()) {
      do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        listed = true;
        const std::wstring child = folder + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          DeleteTree(child);
        } else {
          ::DeleteFileW(child.c_str());
        }
      } while (::FindNextFileW(find.get(), &entry));
    }
  }
  if (!listed) {
    if (FileExists(path)) {
      ::DeleteFileW(path.c_str());
      return true;
    }
    if (!DirectoryExists(path)) return true;
  }
  return ::RemoveDirectoryW(path.c_str()) != 0;
}

uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() || !QueryAttributes(path, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string Md5HexOfFile(const std::wstring& path) {
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return std::string();
  // Large reads: each ReadFile is a system call (a server round trip under Wine), and the
  // digest is the same whatever the block size.
  std::vector<unsigned char> block(1 << 20);
  Md5 md5;
  uint64_t total = 0;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) {
      return std::string();
    }
    if (got == 0) break;
    md5.Update(block.data(), got);
    total += got;
  }
  return total == 0 ? std::string() : md5.FinishHex();
}
