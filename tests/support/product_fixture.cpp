#include "support/product_fixture.h"

#include <fstream>
#include <sstream>

#include "app/product.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "support/temp_folder.h"

std::wstring ProductFolder() { return GetCacheFolder() + kProductFolderName; }
std::wstring InstallRecordPath() { return ProductFolder() + kInstallRecordName; }

void RemoveProductFolder() {
  MakeWritable(ProductFolder());
  DeleteTree(ProductFolder());
}

void CreateProductFolder() { CreateDirectoryTree(ProductFolder()); }

std::wstring RecordKey(const wchar_t* key) {
  wchar_t buffer[1024] = {};
  ::GetPrivateProfileStringW(L"General", key, L"<absent>", buffer, 1023,
                             InstallRecordPath().c_str());
  return buffer;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void SetUninstallDisplayIcon(REGSAM view, const std::wstring& displayIcon) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductUninstallKey, 0, nullptr, 0,
                        KEY_ALL_ACCESS | view, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (!displayIcon.empty()) {
    ::RegSetValueExW(key, L"DisplayIcon", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(displayIcon.c_str()),
                     static_cast<DWORD>((displayIcon.size() + 1) * sizeof(wchar_t)));
  }
  ::RegCloseKey(key);
}

void RemoveUninstallEntry() {
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kProductUninstallKey, KEY_WOW64_32KEY, 0);
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kProductUninstallKey, KEY_WOW64_64KEY, 0);
}

int64_t RunProgram(const std::wstring& program, const std::wstring& arguments,
                   uint32_t timeoutMs) {
  CVelmorBasedProcess process(L"\"" + program + L"\" " + arguments);
  if (!process.Start()) return -1;
  if (!process.WaitForExit(timeoutMs)) {
    ::TerminateProcess(process.process_handle(), 1);
    return -1;
  }
  uint32_t code = 0;
  return process.GetExitCode(&code) ? code : -1;
}

std::map<std::string, std::string> ReadKeyValues(const std::wstring& path) {
  std::map<std::string, std::string> values;
  std::istringstream in(ReadFileBytes(path));
  std::string line;
  while (std::getline(in, line)) {
    const auto equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

std::wstring BuildTreeFolder() { return FolderOf(SiblingExecutable(L"..\\x")); }
