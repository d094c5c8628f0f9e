// The exact request heads the client sends. Portable. A Host line is written only for a
// non-empty host.
#pragma once

#include <cstdint>
#include <string>

std::string GetRequestHead(const std::string& host, const std::string& path);
std::string HeadRequestHead(const std::string& host, const std::string& path);
std::string PostRequestHead(const std::string& host, const std::string& path,
                            const std::string& boundary, int64_t contentLength);
