// Text rules shared by every subsystem. Portable: no Windows headers, so they are tested natively.
// 8-bit texts are network, JSON and telemetry bytes (UTF-8 or ASCII); wide texts are paths and UI.
// None of these functions fails loudly: a missing result is an empty text, an empty list or -1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::wstring Concat(const std::wstring& a, const std::wstring& b);

// Index of the first occurrence of needle; -1 when absent or when either text is empty.
int FindFirst(const std::string& text, const std::string& needle);
int FindFirst(const std::wstring& text, const std::wstring& needle);

// Pieces between any of the delimiter characters; empty pieces are dropped.
std::vector<std::string> Split(const std::string& text, const std::string& delimiters);
std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& delimiters);

std::string TrimLeft(const std::string& text, const std::string& set);
std::wstring TrimLeft(const std::wstring& text, const std::wstring& set);
std::wstring TrimRight(const std::wstring& text, const std::wstring& set);

// Text with every occurrence of needle removed; an empty needle leaves the text as it is.
std::wstring RemoveAll(const std::wstring& needle, const std::wstring& text);

// Only a-z change; every other byte (UTF-8 included) is kept.
std::string ToUpperAscii(const std::string& text);

std::string FormatInt64(int64_t value);
// Leading decimal number (optional sign, leading blanks skipped); 0 when none parses.
int64_t ParseInt64(const std::string& text);

// Form encoding: space becomes '+', unreserved bytes are kept, the rest become %XX (upper case).
std::string UrlEncode(const std::string& bytes);

// Seconds since 1970-01-01 UTC.
int64_t UnixTime();
