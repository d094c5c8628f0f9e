#include "support/temp_folder.h"

#include <cstdio>
#include <stdexcept>

#include "platform/files.h"
#include "platform/windows_api.h"

TempFolder::TempFolder() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  static int counter = 0;
  path_ = std::wstring(temp) + L"lumacut_test_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
          std::to_wstring(++counter) + L"\\";
  if (!CreateDirectoryTree(path_)) throw std::runtime_error("cannot create a test folder");
}

TempFolder::~TempFolder() {
  MakeWritable(path_);
  DeleteTree(path_);
}

std::wstring TempFolder::WriteFile(const std::wstring& name, const std::string& bytes) const {
  const std::wstring file = path_ + name;
  FILE* f = _wfopen(file.c_str(), L"wb");
  if (!f) throw std::runtime_error("cannot write a test file");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return file;
}

void MakeWritable(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring child = path + L"\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      MakeWritable(child);
    } else {
      ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
}

std::wstring SiblingExecutable(const std::wstring& name) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  return FolderOf(self) + name;
}
