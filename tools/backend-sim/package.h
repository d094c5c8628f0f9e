// The setup program the API announces: which file under the root, its size and MD5. The MD5 is
// computed once per file version (path, size and modification time).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

struct PackageFacts {
  std::string relative;  // path under the root, '/'-separated
  int64_t size = 0;
  std::string md5;
};

class PackageCache {
 public:
  // `chosen`: a path relative to the root, or empty for the first *.exe of the root by name.
  bool Get(const std::string& root, const std::string& chosen, PackageFacts* facts,
           std::string* error);

 private:
  std::mutex mutex_;
  std::string key_;
  PackageFacts facts_;
};
