#include "platform/system_queries.h"

#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cmath>
#include <vector>

#include "browser/browser_names.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/path_rules.h"
#include "platform/proc_address.h"
#include "platform/text.h"
#include "platform/unique_handle.h"

namespace {

// Mount paths of one volume. The list is grown to the size the system reports, since a volume
// mounted in many folders does not fit the first guess.
std::vector<std::wstring> MountPathsOf(const std::wstring& volume) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  DWORD needed = 0;
  while (!::GetVolumePathNamesForVolumeNameW(volume.c_str(), buffer.data(),
                                             static_cast<DWORD>(buffer.size()), &needed)) {
    if (::GetLastError() != ERROR_MORE_DATA || needed <= buffer.size()) return {};
    buffer.assign(needed, L'\0');
  }
  std::vector<std::wstring> paths;
  for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1) paths.emplace_back(p);
  return paths;
}

std::vector<std::wstring> AllMountPaths() {
  std::vector<std::wstring> paths;
  wchar_t name[MAX_PATH + 1] = {};
  UniqueVolumeFindHandle find(::FindFirstVolumeW(name, MAX_PATH));
  if (!find.valid()) return paths;
  do {
    const std::wstring volume = name;
    if (volume.size() > 4 && volume.compare(0, 4, L"\\\\?\\") == 0 && volume.back() == L'\\') {
      for (auto& p : MountPathsOf(volume)) paths.push_back(std::move(p));
    }
  } while (::FindNextVolumeW(find.get(), name, MAX_PATH));
  return paths;
}

// True when the volume at mountPath accepts a new folder. A folder of the probe's name that was
// already there proves nothing about writability and is never deleted.
bool CanCreateFolderAt(const std::wstring& mountPath) {
  const std::wstring probe = mountPath + L"VelmorPkg";
  if (DirectoryExists(probe)) {
    // Someone else's folder: try a private one beside it instead.
    const std::wstring own = probe + L"_probe_" + std::to_wstring(::GetCurrentProcessId());
    if (!CreateDirectoryTree(own)) return false;
    DeleteTree(own);
    return true;
  }
  if (!CreateDirectoryTree(probe)) return false;
  DeleteTree(probe);
  return true;
}

std::wstring WindowsDriveRoot() {
  wchar_t windows[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_WINDOWS, nullptr, 0, windows))) return std::wstring();
  const auto pieces = Split(std::wstring(windows), L"\\");
  return pieces.empty() ? std::wstring() : pieces.front() + L"\\";
}

using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);

RtlGetNtVersionNumbersFn NtVersionEntry() {
  static const auto entry =
      GetProcAddressAs<RtlGetNtVersionNumbersFn>(::GetModuleHandleW(L"ntdll"), "RtlGetNtVersionNumbers");
  return entry;
}

int ComputeOsVersionClass() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return 6;
#pragma GCC diagnostic pop
  if (info.dwMajorVersion == 5 && info.dwMinorVersion == 1) return 0;
  // A manifest that declares Windows 10 makes the system report 10.0 directly.
  if (info.dwMajorVersion >= 10) return 5;
  if (info.dwMajorVersion != 6) return 6;
  if (info.dwMinorVersion == 0) return 1;
  if (info.dwMinorVersion == 1) return info.wServicePackMajor != 0 ? 3 : 2;
  // Without a compatibility manifest Windows 10 reports itself as 6.2; ntdll tells the truth.
  DWORD major = 0, minor = 0, build = 0;
  if (const auto entry = NtVersionEntry()) entry(&major, &minor, &build);
  return major == 10 ? 5 : 4;
}

}  // namespace

uint64_t GetFreeSpace(const std::wstring& path) {
  const auto pieces = Split(path, L"\\");
  if (pieces.empty()) return 0;
  const std::wstring root = pieces.front() + L"\\";
  const UINT type = ::GetDriveTypeW(root.c_str());
  if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED) return 0;
  ULARGE_INTEGER available = {};
  if (!::GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return 0;
  return available.QuadPart;
}

std::wstring GetLargestDisk() {
  uint64_t best = 0;
  std::wstring result;
  for (const auto& mountPath : AllMountPaths()) {
    const uint64_t free = GetFreeSpace(mountPath);
    if (free > best && CanCreateFolderAt(mountPath)) {
      best = free;
      result = mountPath;
    }
  }
  if (result.empty()) result = GetCacheFolder();
  if (result.empty()) result = WindowsDriveRoot();
  return result;
}

double GetScreenScale(HDC dc) {
  return ScreenScaleFrom(::GetDeviceCaps(dc, DESKTOPHORZRES), ::GetDeviceCaps(dc, HORZRES),
                         ::GetDeviceCaps(dc, LOGPIXELSX));
}

int GetOsVersionClass() {
  static int cached = -1;
  if (cached < 0) cached = ComputeOsVersionClass();
  return cached;
}

bool Is64BitWindows() {
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32");
  using NativeInfoFn = void(WINAPI*)(SYSTEM_INFO*);
  if (const auto native = GetProcAddressAs<NativeInfoFn>(kernel, "GetNativeSystemInfo")) {
    SYSTEM_INFO info = {};
    native(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
  }
  using IsWow64Fn = BOOL(WINAPI*)(HANDLE, BOOL*);
  if (const auto isWow64 = GetProcAddressAs<IsWow64Fn>(kernel, "IsWow64Process")) {
    BOOL wow64 = FALSE;
    return isWow64(::GetCurrentProcess(), &wow64) && wow64;
  }
  return false;
}

namespace {

// Calls visit(entry) for each process in a fresh snapshot until it returns false.
template <typename Visit>
bool WalkProcesses(Visit visit) {
  UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (!visit(entry)) break;
  }
  return true;
}

}  // namespace

bool GetParentProcessId(uint32_t processId, uint32_t* parentId) {
  bool found = false;
  WalkProcesses([&](const PROCESSENTRY32W& entry) {
    if (entry.th32ProcessID != processId) return true;
    *parentId = entry.th32ParentProcessID;
    found = true;
    return false;
  });
  return found;
}

bool GetProcessImagePath(uint32_t processId, std::wstring* path) {
  UniqueKernelHandle process(
      ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process.valid()) return false;
  wchar_t buffer[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  using QueryFullFn = BOOL(WINAPI*)(HANDLE, DWORD, wchar_t*, DWORD*);
  using ModuleNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32");
  if (const auto queryFull = GetProcAddressAs<QueryFullFn>(kernel, "QueryFullProcessImageNameW")) {
    if (!queryFull(process.get(), 0, buffer, &size)) return false;
    *path = buffer;
    return true;
  }
  auto moduleName = GetProcAddressAs<ModuleNameFn>(kernel, "K32GetModuleFileNameExW");
  UniqueModule psapi;
  if (!moduleName) {
    psapi.reset(::LoadLibraryW(L"Psapi.dll"));
    moduleName = GetProcAddressAs<ModuleNameFn>(psapi.get(), "GetModuleFileNameExW");
  }
  if (!moduleName) {
    path->clear();
    return true;
  }
  if (moduleName(process.get(), nullptr, buffer, MAX_PATH) == 0) return false;
  *path = buffer;
  return true;
}

bool ListBrowserProcesses(std::map<uint32_t, std::wstring>* browsers) {
  return WalkProcesses([&](const PROCESSENTRY32W& entry) {
    const std::wstring name = entry.szExeFile;
    if (IsKnownBrowser(name)) browsers->emplace(entry.th32ProcessID, name);
    return true;
  });
}

bool GetInstallDir(const std::wstring& uninstallKeyName, std::wstring* folder) {
  const std::wstring subkey =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + uninstallKeyName;
  const bool view64 = Is64BitWindows();
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const std::wstring location = ReadRegistryString(root, subkey, L"InstallLocation", view64);
    if (!location.empty()) {
      *folder = location;
      return true;
    }
  }
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const std::wstring icon = ReadRegistryString(root, subkey, L"DisplayIcon", view64);
    if (icon.empty()) continue;
    const auto slash = icon.rfind(L'\\');
    *folder = slash == std::wstring::npos ? icon : icon.substr(0, slash);
    return true;
  }
  return false;
}

std::wstring ReadRegistryString(HKEY root, const std::wstring& subkey, const std::wstring& value,
                                bool use64BitView) {
  // Read access only: keys that deny writing (even to administrators) must still be readable.
  // The view is always named, so the 64-bit build sees what the 32-bit one sees.
  const REGSAM access = KEY_READ | (use64BitView ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(root, subkey.c_str(), 0, access, &raw) != ERROR_SUCCESS) return std::wstring();
  UniqueRegKey key(raw);
  wchar_t buffer[261] = {};  // one spare terminator: the stored text need not end in one
  DWORD bytes = 520;
  if (::RegQueryValueExW(key.get(), value.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return std::wstring(buffer);
}
