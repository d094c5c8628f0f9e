// Code-page conversions of whole texts. A failed conversion gives an empty text.
#pragma once

#include <string>

std::wstring AnsiToWide(const std::string& text);  // the system's ANSI code page
std::string WideToAnsi(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
