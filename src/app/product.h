// Constants that identify the product and this installer to Windows and to the backend.
#pragma once

// Uninstall entry that the product's setup program writes (HKLM, 32-bit view).
inline constexpr wchar_t kProductUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"{5D2A7C14-9B63-4E08-A1F7-3C96E0B4D2A1}_is1";

// Product folder under the cache folder, and the install record inside it.
inline constexpr wchar_t kProductFolderName[] = L"LUMACUT\\";
inline constexpr wchar_t kInstallRecordName[] = L"config.ini";

inline constexpr char kAppId[] = "51730946";

// Single instance: the first instance owns the mutex; a second one finds the first's main
// window by its class and posts it WM_BRING_TO_FRONT.
inline constexpr wchar_t kInstanceMutexName[] =
    L"VelmorPkg-Event-6B0F3E92-1D47-4C5A-9E83-27A5D1C0F4B6";
inline constexpr wchar_t kMainWindowClass[] =
    L"VelmorPkg-Window-6B0F3E92-1D47-4C5A-9E83-27A5D1C0F4B6";
inline constexpr unsigned kWmBringToFront = 0x80FF;
