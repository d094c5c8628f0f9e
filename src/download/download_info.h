// What the download-information query learns about the setup program. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DownloadInfo {
  int64_t size = 0;                // bytes; 0 until known
  std::wstring file_name;          // empty until known
  std::vector<std::string> urls;   // every URL whose query succeeded, final after redirects
};
