// Unpacking the zip archives the executable carries (skin, telemetry library).
#pragma once

#include <string>

// Extracts every file entry of the archive into folder (which must exist), overwriting files of
// the same name; sub-folders named by the entries are created. Entries whose names would leave
// the folder (absolute paths, drive letters, "..") are skipped. Returns the number of files
// written, or -1 when the archive cannot be opened.
int UnpackZip(const std::wstring& zipPath, const std::wstring& folder);

// True when an entry name stays inside the folder it is unpacked into. Portable rule.
bool IsSafeEntryName(const std::string& name);
