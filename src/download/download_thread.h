// Downloads one byte range of the setup program with ranged GETs on its own thread, writing
// what arrives in place through its owner. Survives dropped connections (each attempt resumes
// at the first byte not yet received), follows redirects, retries with pauses, stops promptly.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "download/download_rules.h"
#include "net/tcp_client.h"
#include "platform/thread.h"

class IRangeWriter {
 public:
  // Writes count bytes at the file offset for range index; false when the write failed.
  virtual bool WriteBlock(uint32_t count, int32_t index, const char* buffer, int64_t offset) = 0;

 protected:
  virtual ~IRangeWriter() = default;
};

class CDownloadThread : public CVelmorBasedThread, public CTCPClient {
 public:
  enum State : uint32_t { kRunning = 1, kCancel = 3, kComplete = 4, kFailed = 5 };

  // Resolves the URL's host; throws when the URL does not parse or the host does not resolve.
  CDownloadThread(const std::string& url, int32_t timeoutMs, int32_t attemptLimit,
                  int64_t rangeStart, int64_t rangeEnd, IRangeWriter* writer, int32_t index);
  // Asks the thread to stop and waits for it (it notices within one receive time-out).
  ~CDownloadThread() override;

  uint32_t Run() override;
  uint32_t state() const { return state_; }

 private:
  bool SendRequest();
  bool ReceiveReply();
  void Flush();
  void ThrowIfCancelled() const;

  static constexpr int32_t kBufferSize = 1 << 20;
  static constexpr int32_t kReceiveSize = 1024;

  std::atomic<uint32_t> state_{kRunning};
  std::unique_ptr<char[]> buffer_;
  int32_t filled_ = 0;
  UrlParts target_;
  int32_t attempt_limit_;
  int64_t next_offset_;
  int64_t range_end_;
  int64_t write_base_;
  int64_t written_ = 0;
  std::string url_;
  IRangeWriter* writer_;
  int32_t index_;
};
