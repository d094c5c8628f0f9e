// Queries of the machine. Stateless but for the cached OS version class; safe on any thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/windows_api.h"

// Bytes available to the caller on the path's drive; 0 for network, optical or unknown drives,
// relative paths and failures.
uint64_t GetFreeSpace(const std::wstring& path);

// Root of the mounted fixed or removable volume with the most free space on which a folder can
// be created (for example "D:\"); falls back to the cache folder, then the Windows drive.
std::wstring GetLargestDisk();

// Display scale factor (1.0 at 96 DPI).
double GetScreenScale(HDC dc);

// 0 XP, 1 Vista, 2 Windows 7 without service pack, 3 Windows 7 SP, 4 Windows 8/8.1,
// 5 Windows 10 or later, 6 anything else.
int GetOsVersionClass();

bool Is64BitWindows();

bool GetParentProcessId(uint32_t processId, uint32_t* parentId);
// True with an empty path when the system offers no way to read image paths.
bool GetProcessImagePath(uint32_t processId, std::wstring* path);

// Running processes whose executable is a known browser: process id -> executable name.
bool ListBrowserProcesses(std::map<uint32_t, std::wstring>* browsers);

// Install folder of an uninstall entry: "InstallLocation", else the folder of "DisplayIcon";
// the current user's entry before the machine's.
bool GetInstallDir(const std::wstring& uninstallKeyName, std::wstring* folder);

// A string value of at most 259 characters; empty on any failure. With use64BitView the 64-bit
// registry view is asked for, whatever the bitness of this process.
std::wstring ReadRegistryString(HKEY root, const std::wstring& subkey, const std::wstring& value,
                                bool use64BitView);
