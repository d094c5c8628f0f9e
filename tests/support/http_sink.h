// A loopback HTTP server for tests: accepts requests on 127.0.0.1:port, answers each with the
// configured status and keeps every request it read. Runs on its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SinkRequest {
  std::string request_line;  // "POST /sa?project=production HTTP/1.1"
  std::string head;
  std::string body;
};

class HttpSink {
 public:
  HttpSink(uint16_t port, int status = 200);
  ~HttpSink();
  HttpSink(const HttpSink&) = delete;
  HttpSink& operator=(const HttpSink&) = delete;

  bool listening() const { return listener_ != ~uintptr_t{0}; }
  void set_status(int status) { status_ = status; }
  std::vector<SinkRequest> requests();
  // Waits up to ms until done(requests) holds; returns whether it did.
  bool WaitFor(const std::function<bool(const std::vector<SinkRequest>&)>& done, int ms);

 private:
  void Serve();
  void Handle(uintptr_t client);

  std::atomic<int> status_;
  uintptr_t listener_ = ~uintptr_t{0};
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<SinkRequest> requests_;
  std::thread thread_;
};
