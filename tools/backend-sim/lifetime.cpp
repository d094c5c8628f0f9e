#include "lifetime.h"

#include <sys/socket.h>

#include <chrono>

bool Lifetime::Stopping() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopping_;
}

bool Lifetime::SleepFor(int64_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

bool Lifetime::Register(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) return false;
  connections_.insert(fd);
  return true;
}

void Lifetime::Unregister(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  connections_.erase(fd);
  changed_.notify_all();
}

bool Lifetime::StopAll(int64_t wait_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  stopping_ = true;
  // The descriptors stay open until their threads unregister them, so none of these can have
  // been reused for something else.
  for (int fd : connections_) shutdown(fd, SHUT_RDWR);
  changed_.notify_all();
  return changed_.wait_for(lock, std::chrono::milliseconds(wait_ms),
                           [this] { return connections_.empty(); });
}
