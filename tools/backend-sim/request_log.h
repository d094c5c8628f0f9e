// The request log: one compact JSON object per line, appended with a single write so lines
// from concurrent connections never interleave and each is on disk as soon as it is written.
#pragma once

#include <json/json.h>

#include <mutex>
#include <string>

class RequestLog {
 public:
  RequestLog() = default;
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // An empty path disables the log.
  bool Open(const std::string& path, std::string* error);
  void Write(const Json::Value& line);

 private:
  std::mutex mutex_;
  int fd_ = -1;
};

// Current UTC time as 2024-05-01T12:34:56.789Z.
std::string UtcTimestamp();
