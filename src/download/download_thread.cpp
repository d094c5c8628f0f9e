#include "download/download_thread.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "download/download_events.h"

CDownloadThread::CDownloadThread(const std::string& url, int32_t timeoutMs, int32_t attemptLimit,
                                 int64_t rangeStart, int64_t rangeEnd, IRangeWriter* writer,
                                 int32_t index)
    : attempt_limit_(attemptLimit),
      next_offset_(rangeStart),
      range_end_(rangeEnd),
      write_base_(rangeStart),
      url_(url),
      writer_(writer),
      index_(index) {
  if (!ParseUrl(url_, &target_)) {
    SendDownloadError(L"获取下载信息线程出错", L"初始化失败");
    throw std::runtime_error("init url failed");
  }
  SetTarget(target_.host, target_.port);
  SetReceiveTimeout(timeoutMs);
  SetSendTimeout(timeoutMs);
  buffer_.reset(new char[kBufferSize]);
  if (!CreateSuspended()) throw std::runtime_error("create download thread failed");
  Launch();
}

CDownloadThread::~CDownloadThread() {
  state_ = kCancel;
  StopAndWait();
  CloseSocket();
}

void CDownloadThread::ThrowIfCancelled() const {
  if (state_ == kCancel) throw std::runtime_error("User cancel thread");
}

uint32_t CDownloadThread::Run() {
  try {
    ::Sleep(10);
    int connectFailures = 0;
    for (int attempt = 0; attempt < attempt_limit_;) {
      ThrowIfCancelled();
      try {
        Connect();
      } catch (const std::exception&) {
        if (++connectFailures > 10) {
          SendDownloadError(kDownloadThreadError, L"连接错误");
          throw std::runtime_error("connect error");
        }
        ::Sleep(10);
        ++attempt;
        continue;
      }
      connectFailures = 0;
      if (SendRequest() && ReceiveReply()) state_ = kComplete;
      CloseSocket();
      if (state_ == kComplete) return 0;
      // The pause ends early when the owner asks the thread to stop.
      if (WaitForStop(500)) ThrowIfCancelled();
      ++attempt;
    }
    SendDownloadError(kDownloadThreadError, L"重试超过最大次数");
    throw std::runtime_error("retry limit");
  } catch (...) {
    if (state_ != kCancel) state_ = kFailed;
    return static_cast<uint32_t>(-1);
  }
}

bool CDownloadThread::SendRequest() {
  const std::string request =
      RangeRequestText(target_.host, target_.path, next_offset_, range_end_);
  size_t sent = 0;
  while (sent < request.size()) {
    ThrowIfCancelled();
    const int piece = static_cast<int>(std::min<size_t>(1024, request.size() - sent));
    const int n = ::send(socket(), request.data() + sent, piece, 0);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Receives at most 1024 bytes at a time into the 1 MiB buffer. The head is read by
// RangeReplyHead, which keeps it apart from the body however it is split; only a 206 for the
// requested offset, or a 200 (the whole file, whose bytes before the offset are skipped), is
// ever written, and never past the range's end.
bool CDownloadThread::ReceiveReply() {
  filled_ = 0;
  RangeReplyHead head(next_offset_);
  bool inHead = true;
  int64_t skip = 0;
  char piece[kReceiveSize];
  for (;;) {
    ThrowIfCancelled();
    const int room = std::min(kReceiveSize, kBufferSize - filled_);
    const int got = ::recv(socket(), piece, room, 0);
    if (got <= 0) {
      if (!inHead) Flush();
      return false;
    }
    const char* body = piece;
    size_t count = static_cast<size_t>(got);
    if (inHead) {
      switch (head.Feed(piece, count)) {
        case RangeReplyHead::Outcome::kNeedMore:
          continue;
        case RangeReplyHead::Outcome::kFail:
          return false;
        case RangeReplyHead::Outcome::kRedirect:
          if (!ParseUrl(head.location(), &target_)) {
            SendDownloadError(L"获取下载信息线程出错", L"初始化失败");
            throw std::runtime_error("init url failed");
          }
          ResolveHost(target_.host, target_.port);
          return false;
        case RangeReplyHead::Outcome::kBody:
          inHead = false;
          skip = head.skip();
          body = piece + head.body_offset();
          count -= head.body_offset();
          break;
      }
    }
    const size_t skipped = static_cast<size_t>(std::min<int64_t>(skip, static_cast<int64_t>(count)));
    skip -= static_cast<int64_t>(skipped);
    body += skipped;
    count -= skipped;
    count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), range_end_ - next_offset_ + 1));
    std::memcpy(buffer_.get() + filled_, body, count);
    filled_ += static_cast<int32_t>(count);
    next_offset_ += static_cast<int64_t>(count);
    if (filled_ == kBufferSize || next_offset_ > range_end_) Flush();
    if (next_offset_ > range_end_) return true;
  }
}

void CDownloadThread::Flush() {
  if (filled_ <= 0) return;
  if (!writer_->WriteBlock(static_cast<uint32_t>(filled_), index_, buffer_.get(),
                           write_base_ + written_)) {
    SendDownloadError(kDownloadThreadError, L"写文件出错");
    throw std::runtime_error(" write file failed");
  }
  written_ += filled_;
  filled_ = 0;
}
