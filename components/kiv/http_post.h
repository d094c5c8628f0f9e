// One HTTP POST through WinHTTP (so the system's WinHTTP proxy setting applies).
#pragma once

#include <string>

// Returns the reply's status code, or 0 when no reply arrived.
unsigned long HttpPostJson(const std::wstring& host, int port, const std::wstring& path,
                           const std::string& body);
