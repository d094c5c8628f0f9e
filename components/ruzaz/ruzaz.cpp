// RUZAZ: one export giving a stable per-machine user id of 32 lower-case hex digits, derived
// from the machine's installation GUID (or, without one, its computer name and system volume
// serial), so every program on the machine sees the same id.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/md5.h"

namespace {

std::string MachineGuid() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                      KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return std::string();
  }
  char value[128] = {};
  DWORD size = sizeof value - 1;
  const LONG status = ::RegQueryValueExA(key, "MachineGuid", nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(value), &size);
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::string(value) : std::string();
}

std::string FallbackSeed() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = sizeof name;
  ::GetComputerNameA(name, &length);
  DWORD serial = 0;
  ::GetVolumeInformationA("C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
  return std::string(name) + "/" + std::to_string(serial);
}

}  // namespace

extern "C" __declspec(dllexport) int GetRUZAZ(char* buffer, int size) {
  if (!buffer || size <= 0) return 1;
  std::string seed = MachineGuid();
  if (seed.empty()) seed = FallbackSeed();
  const std::string uid = Md5Hex("RUZAZ:" + seed);
  const size_t copy = std::min(uid.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, uid.data(), copy);
  buffer[copy] = '\0';
  return 0;
}
