// A reply under construction and the writer that puts it on the wire, with the faults that
// concern sending: a head split over several sends, a connection dropped after some body
// bytes, chunked framing and a rate limit. File bodies go out with sendfile(2).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "http_parse.h"

class Lifetime;
struct Action;

// An open file, closed when the last segment referring to it is gone.
class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Either text or a byte range of a file.
struct BodySegment {
  std::string text;
  std::shared_ptr<const OpenFile> file;
  int64_t offset = 0;
  int64_t length = 0;  // of the file range

  int64_t Size() const { return file ? length : static_cast<int64_t>(text.size()); }
};

struct Reply {
  int status = 200;
  std::string reason;  // empty: the usual phrase for the status
  std::vector<Header> headers;
  std::vector<BodySegment> body;
  bool head_only = false;  // answer to HEAD: the headers describe a body that is not sent
  bool chunked = false;
  int64_t chunk_size = 65536;

  // Replaces every header of that name (case-insensitive) by one, kept at the first's place.
  void SetHeader(const std::string& name, const std::string& value);
  void RemoveHeader(const std::string& name);
  const std::string* FindHeader(const std::string& name) const;
  void SetText(int code, const std::string& text, const std::string& content_type);
  int64_t BodyLength() const;
  // Sets Content-Length from the body, or Transfer-Encoding when chunked, plus
  // Connection: close. Called before the scenario's header changes, which may undo it.
  void SetFramingHeaders();
};

std::string ReasonPhrase(int status);
std::string FormatHead(const Reply& reply);

struct SendOutcome {
  int64_t body_bytes = 0;  // bytes sent after the head (chunk framing included)
  bool complete = false;   // everything the reply holds was sent
  bool dropped = false;    // cut short on purpose (drop_after)
  std::string error;       // why sending stopped early, when it did
};

SendOutcome SendReply(int fd, const Reply& reply, const Action& action, Lifetime& lifetime);
// Sends `bytes` as they are (a scenario's raw reply), in the action's head pieces.
SendOutcome SendRaw(int fd, const std::string& bytes, const Action& action, Lifetime& lifetime);
