#include "reply.h"

#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>

#include "lifetime.h"
#include "scenario.h"

namespace {

using Clock = std::chrono::steady_clock;

bool SendAll(int fd, const char* data, size_t size, int flags, std::string* error) {
  while (size > 0) {
    const ssize_t sent = send(fd, data, size, flags | MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      *error = errno == EAGAIN || errno == EWOULDBLOCK ? "send timed out" : std::strerror(errno);
      return false;
    }
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

bool SendFileRange(int fd, int file, int64_t offset, int64_t length, std::string* error) {
  off_t at = static_cast<off_t>(offset);
  int64_t left = length;
  while (left > 0) {
    const size_t piece = static_cast<size_t>(std::min<int64_t>(left, int64_t{1} << 30));
    const ssize_t sent = sendfile(fd, file, &at, piece);
    if (sent < 0) {
      if (errno == EINTR) continue;
      *error = errno == EAGAIN || errno == EWOULDBLOCK ? "send timed out" : std::strerror(errno);
      return false;
    }
    if (sent == 0) {
      *error = "file ended early";
      return false;
    }
    left -= sent;
  }
  return true;
}

// Sends `data` pieces: the sizes given, then the rest; pauses between pieces.
bool SendInPieces(int fd, const std::string& data, const Action& action, Lifetime& lifetime,
                  int last_flags, std::string* error) {
  std::vector<size_t> sizes;
  if (!action.split_head.empty()) {
    for (int64_t size : action.split_head) sizes.push_back(static_cast<size_t>(size));
  } else if (action.split_pieces > 1) {
    const size_t piece =
        std::max<size_t>(1, data.size() / static_cast<size_t>(action.split_pieces));
    for (int i = 1; i < action.split_pieces; ++i) sizes.push_back(piece);
  }
  size_t at = 0;
  for (size_t size : sizes) {
    if (at >= data.size()) break;
    const size_t take = std::min(size, data.size() - at);
    if (!SendAll(fd, data.data() + at, take, 0, error)) return false;
    at += take;
    if (at < data.size() && !lifetime.SleepFor(action.split_pause_ms)) {
      *error = "stopping";
      return false;
    }
  }
  return SendAll(fd, data.data() + at, data.size() - at, last_flags, error);
}

// Writes the body segments within a byte budget, optionally at a limited rate.
class BodyWriter {
 public:
  BodyWriter(int fd, const Action& action, Lifetime& lifetime)
      : fd_(fd),
        rate_(action.rate),
        budget_(action.drop_after >= 0 ? action.drop_after : std::numeric_limits<int64_t>::max()),
        lifetime_(lifetime),
        start_(Clock::now()) {}

  // False when the budget ran out or sending failed; outcome() tells which.
  bool Write(const BodySegment& segment) {
    int64_t at = 0;
    const int64_t size = segment.Size();
    while (at < size) {
      if (sent_ >= budget_) {
        outcome_.dropped = true;
        return false;
      }
      int64_t piece = std::min(size - at, budget_ - sent_);
      if (rate_ > 0) {
        piece = std::min(piece, std::max<int64_t>(1, rate_ / 20));
        if (!Pace()) return false;
      }
      const bool ok = segment.file ? SendFileRange(fd_, segment.file->fd(), segment.offset + at,
                                                   piece, &outcome_.error)
                                   : SendAll(fd_, segment.text.data() + at,
                                             static_cast<size_t>(piece), 0, &outcome_.error);
      if (!ok) return false;
      at += piece;
      sent_ += piece;
      outcome_.body_bytes = sent_;
    }
    return true;
  }

  SendOutcome& outcome() { return outcome_; }

 private:
  // Waits until the bytes sent so far are within the rate.
  bool Pace() {
    const auto due = start_ + std::chrono::microseconds(sent_ * 1000000 / rate_);
    const auto now = Clock::now();
    if (due <= now) return true;
    const int64_t wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count() + 1;
    if (!lifetime_.SleepFor(wait)) {
      outcome_.error = "stopping";
      return false;
    }
    return true;
  }

  int fd_;
  int64_t rate_;
  int64_t budget_;
  Lifetime& lifetime_;
  Clock::time_point start_;
  int64_t sent_ = 0;
  SendOutcome outcome_;
};

char HexDigit(int value) { return "0123456789abcdef"[value & 15]; }

std::string ChunkLine(int64_t size) {
  std::string digits;
  do {
    digits.insert(digits.begin(), HexDigit(static_cast<int>(size & 15)));
    size >>= 4;
  } while (size > 0);
  return digits + "\r\n";
}

}  // namespace

OpenFile::~OpenFile() {
  if (fd_ >= 0) close(fd_);
}

void Reply::SetHeader(const std::string& name, const std::string& value) {
  bool placed = false;
  for (auto it = headers.begin(); it != headers.end();) {
    if (!EqualsIgnoreCase(it->name, name)) {
      ++it;
    } else if (!placed) {
      it->name = name;
      it->value = value;
      placed = true;
      ++it;
    } else {
      it = headers.erase(it);
    }
  }
  if (!placed) headers.push_back({name, value});
}

void Reply::RemoveHeader(const std::string& name) {
  headers.erase(std::remove_if(headers.begin(), headers.end(),
                               [&name](const Header& h) { return EqualsIgnoreCase(h.name, name); }),
                headers.end());
}

const std::string* Reply::FindHeader(const std::string& name) const {
  for (const Header& header : headers) {
    if (EqualsIgnoreCase(header.name, name)) return &header.value;
  }
  return nullptr;
}

void Reply::SetText(int code, const std::string& text, const std::string& content_type) {
  status = code;
  body.clear();
  BodySegment segment;
  segment.text = text;
  body.push_back(segment);
  SetHeader("Content-Type", content_type);
}

int64_t Reply::BodyLength() const {
  int64_t total = 0;
  for (const BodySegment& segment : body) total += segment.Size();
  return total;
}

void Reply::SetFramingHeaders() {
  if (chunked) {
    RemoveHeader("Content-Length");
    SetHeader("Transfer-Encoding", "chunked");
  } else {
    RemoveHeader("Transfer-Encoding");
    SetHeader("Content-Length", std::to_string(BodyLength()));
  }
  SetHeader("Connection", "close");
}

std::string ReasonPhrase(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 413:
      return "Payload Too Large";
    case 416:
      return "Range Not Satisfiable";
    case 429:
      return "Too Many Requests";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    case 504:
      return "Gateway Timeout";
    default:
      return "Status";
  }
}

std::string FormatHead(const Reply& reply) {
  std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                     (reply.reason.empty() ? ReasonPhrase(reply.status) : reply.reason) + "\r\n";
  for (const Header& header : reply.headers) head += header.name + ": " + header.value + "\r\n";
  head += "\r\n";
  return head;
}

SendOutcome SendReply(int fd, const Reply& reply, const Action& action, Lifetime& lifetime) {
  const bool has_body = !reply.head_only && reply.BodyLength() > 0;
  BodyWriter writer(fd, action, lifetime);
  SendOutcome& outcome = writer.outcome();
  if (!SendInPieces(fd, FormatHead(reply), action, lifetime, has_body ? MSG_MORE : 0,
                    &outcome.error)) {
    return outcome;
  }
  if (reply.head_only) {
    outcome.complete = true;
    return outcome;
  }
  if (!reply.chunked) {
    for (const BodySegment& segment : reply.body) {
      if (!writer.Write(segment)) return outcome;
    }
    outcome.complete = true;
    return outcome;
  }
  const int64_t chunk = std::max<int64_t>(1, reply.chunk_size);
  for (const BodySegment& segment : reply.body) {
    for (int64_t at = 0; at < segment.Size(); at += chunk) {
      const int64_t size = std::min(chunk, segment.Size() - at);
      BodySegment line, piece, end;
      line.text = ChunkLine(size);
      piece = segment;
      if (segment.file) {
        piece.offset = segment.offset + at;
        piece.length = size;
      } else {
        piece.text = segment.text.substr(static_cast<size_t>(at), static_cast<size_t>(size));
      }
      end.text = "\r\n";
      if (!writer.Write(line) || !writer.Write(piece) || !writer.Write(end)) return outcome;
    }
  }
  BodySegment last;
  last.text = "0\r\n\r\n";
  if (!writer.Write(last)) return outcome;
  outcome.complete = true;
  return outcome;
}

SendOutcome SendRaw(int fd, const std::string& bytes, const Action& action, Lifetime& lifetime) {
  SendOutcome outcome;
  if (SendInPieces(fd, bytes, action, lifetime, 0, &outcome.error)) outcome.complete = true;
  return outcome;
}
