// Helpers for tests that touch the prefix's product folder, install record and the product's
// uninstall entry. Those tests hold CTest's "product_folder" lock, so they may reset all three.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/windows_api.h"

// Product folder under the cache folder, with its trailing backslash.
std::wstring ProductFolder();
std::wstring InstallRecordPath();
// Deletes the product folder and everything in it.
void RemoveProductFolder();
void CreateProductFolder();
// Value of key in section "General" of the install record; "<absent>" when missing.
std::wstring RecordKey(const wchar_t* key);
// Whole bytes of a file; empty when unreadable.
std::string ReadFileBytes(const std::wstring& path);

// The product's uninstall entry in one registry view (KEY_WOW64_32KEY or KEY_WOW64_64KEY).
void SetUninstallDisplayIcon(REGSAM view, const std::wstring& displayIcon);
void RemoveUninstallEntry();

// Runs a program with arguments (each quoted), waits up to timeoutMs; returns its exit code or
// -1 on failure to start or time-out.
int64_t RunProgram(const std::wstring& program, const std::wstring& arguments, uint32_t timeoutMs);

// key=value lines of a UTF-8 file.
std::map<std::string, std::string> ReadKeyValues(const std::wstring& path);

// The folder of the win64 build tree (where LumacutSetup.exe lands), with a trailing backslash.
std::wstring BuildTreeFolder();
