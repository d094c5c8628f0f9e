// Known browser executables. Portable. Matching is by case-sensitive substring, so a full path
// or a bare executable name may be passed.
#pragma once

#include <string>

// Type code of the first known name contained in name (1..11), 99 when none is.
int GetBrowserType(const std::wstring& name);
bool IsKnownBrowser(const std::wstring& name);
