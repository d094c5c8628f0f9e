#include "request_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "api.h"

RequestLog::~RequestLog() {
  if (fd_ >= 0) close(fd_);
}

bool RequestLog::Open(const std::string& path, std::string* error) {
  if (path.empty()) return true;
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void RequestLog::Write(const Json::Value& line) {
  if (fd_ < 0) return;
  const std::string text = CompactJson(line) + "\n";
  std::lock_guard<std::mutex> lock(mutex_);
  size_t at = 0;
  while (at < text.size()) {
    const ssize_t written = write(fd_, text.data() + at, text.size() - at);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    at += static_cast<size_t>(written);
  }
}

std::string UtcTimestamp() {
  const auto now = std::chrono::system_clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[40];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                static_cast<int>(ms.count() % 1000));
  return text;
}
