// The installer's two working folders.
#pragma once

#include <string>

// "<roaming app data>\VelmorPkg\", created when missing; kept for the process once known.
// Empty when the system cannot name the app data folder (the next call asks again).
std::wstring GetCacheFolder();

// "<largest writable disk>VelmorPkg_<unix time>\", made before main runs and deleted with its
// contents at process exit. Empty when it could not be created.
std::wstring GetScratchFolder();
