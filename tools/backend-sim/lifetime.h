// Process lifetime shared by the connection threads: the stop request (SIGTERM/SIGINT), waits
// that end early when it comes, and the open connections that stopping must interrupt.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>

class Lifetime {
 public:
  bool Stopping() const;
  // Sleeps `ms` milliseconds; false when the stop request cut the wait short.
  bool SleepFor(int64_t ms);
  // Tracks an open connection; false (and nothing tracked) once stopping.
  bool Register(int fd);
  void Unregister(int fd);
  // Sets the stop request, shuts down every tracked connection (which ends their blocking
  // calls) and waits up to `wait_ms` for their threads to unregister. True when all did.
  bool StopAll(int64_t wait_ms);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::set<int> connections_;
};
