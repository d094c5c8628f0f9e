// The backend's JSON replies for the package and the channel welcome information, read as the
// installer reads them. Portable. Texts are read with the library's text conversion: numbers and
// booleans become their text, null an empty text; an object or array where a text is expected
// fails the read (std::exception).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int64_t kDefaultPackageSize = 23068672;       // 22 MiB
constexpr int64_t kDefaultInstallationSize = 58990592;  // about 56.3 MiB

struct DownloadUrlEntry {
  int32_t first = 0;
  int32_t second = 0;  // the list is kept ordered by this value, largest first (stable)
  std::string url;
};

struct PackageData {
  std::string version_code;
  int64_t package_size = kDefaultPackageSize;
  int64_t installation_size = kDefaultInstallationSize;
  std::string md5;
  std::vector<DownloadUrlEntry> urls;
};

// Throws "parse decrypt data error" (not JSON), "member not exist" (no "code" or "data"),
// "request error" (another code).
PackageData ParsePackageReply(const std::string& body);

// Orders the entries by their second integer, largest first, keeping equal ones in place.
void OrderDownloadUrls(std::vector<DownloadUrlEntry>* urls);

struct WelcomeData {
  std::string app_id;
  std::string app_name;
  bool tolmir_ocpc = false;
  std::string welcome_url;
  std::string advertising_account;
};

// A reply without success (no "code", another code, no "data") gives empty data. Throws
// "parse decrypt data error" when the body is not JSON (an empty body included).
WelcomeData ParseWelcomeReply(const std::string& body);
