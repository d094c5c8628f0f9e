// Files and folders by wide path. No function throws; failure is false, 0 or an empty text.
#pragma once

#include <cstdint>
#include <string>

// Folder part of the full path, with its trailing backslash (a path ending in '\' stays whole).
std::wstring FolderOf(const std::wstring& path);
// File part of the full path; empty when the path ends in a separator.
std::wstring FileNameOf(const std::wstring& path);

bool FileExists(const std::wstring& path);       // exists and is not a directory
bool DirectoryExists(const std::wstring& path);
// Creates every missing folder of the path; true when the folder exists afterwards.
bool CreateDirectoryTree(const std::wstring& path);
bool RemoveFile(const std::wstring& path);
// Deletes a folder with everything in it (or a single file). Entries that cannot be deleted are
// left in place and make the result false, because the folder itself then stays too.
bool DeleteTree(const std::wstring& path);
// Size in bytes; 0 when the path does not exist.
uint64_t FileSize(const std::wstring& path);

// MD5 of the file's bytes as 32 lower-case hex digits; empty when unreadable or empty.
std::string Md5HexOfFile(const std::wstring& path);
