// Path rules that need no file system. Portable; paths are wide texts.
#pragma once

#include <string>

// Appends '\' unless the path is empty or already ends in '\' or '/'.
std::wstring EnsureTrailingSeparator(const std::wstring& path);

// From the last '.' to the end when that dot follows the last separator; otherwise empty.
std::wstring ExtensionOf(const std::wstring& path);

// A drive-letter path ("C:", "C:\", "C:\a\b") with no doubled backslash and no character that
// Windows refuses in a name. UNC paths, forward slashes and relative paths are rejected.
bool IsValidLocalPath(const std::wstring& path);

// Display scale from the device's caps: physical ÷ logical width, or, when those agree (the
// process sees real pixels), the DPI ÷ 96.
double ScreenScaleFrom(int desktopHorzRes, int horzRes, int logPixelsX);
