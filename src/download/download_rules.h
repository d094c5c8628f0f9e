// Rules of the package download that need no system. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct UrlParts {
  std::string host;
  uint16_t port = 80;
  std::string path;  // begins with "/"; the query string stays in it
};

// Split at '/' (empty pieces dropped): at least 3 pieces; the second is host[:port]; the path is
// "/" + the rest joined by '/'. The scheme is ignored. False when it does not parse.
// http://h:8080/a/b?x=1 -> h, 8080, /a/b?x=1; http://h/ -> false.
bool ParseUrl(const std::string& url, UrlParts* parts);

struct ByteRange {
  int64_t start;
  int64_t end;  // inclusive
};
// total / workers bytes each, the remainder added to the last range. 1001, 2 -> 0-499, 500-1000.
std::vector<ByteRange> SplitRanges(int64_t total, int32_t workers);

// Dotted versions with the same, non-zero number of pieces; true when no piece of a is smaller
// than b's at the same place (2.0 vs 1.5 is false: a larger earlier piece does not decide).
bool VersionNotOlder(const std::string& a, const std::string& b);

// The file name given by the first header line containing "filename=": the text after it split
// at double quotes (empty pieces dropped), first piece. Empty when no line has one.
std::string FileNameFromHeaders(const std::vector<std::string>& lines);

// A server-given file name fit to be joined to a folder: only its last path component, and
// empty when that is empty, "." or "..", or holds a character Windows refuses in names (so a
// name cannot choose another folder or a drive).
std::string SafeFileName(const std::string& name);

// The name to save under when the server gives none: own file name without its extension text
// (every occurrence), "_install" unless already contained, "_v" + version when not empty,
// ".exe". "VelmorPkg.exe" when that gives nothing.
std::wstring DerivedSetupName(const std::wstring& ownFileName, const std::wstring& version);

// For app-store builds (four version pieces, the second 96..99): install_tengxun0.exe,
// install_qihu3600.exe, install_jinshan0.exe, install_huawei00.exe; otherwise empty.
std::wstring ChannelSetupName(const std::string& ownVersion);

// The redirect target of a 3xx head: the first line beginning with "Location:" (exact case),
// its value with leading spaces removed; a value that does not begin with "http" but with "/"
// becomes "http://" + host + ":" + port + value. Empty when there is no such line.
std::string RedirectTarget(const std::vector<std::string>& lines, const std::string& host,
                           uint16_t port);

// The worker's ranged GET, byte-exact.
std::string RangeRequestText(const std::string& host, const std::string& path, int64_t from,
                             int64_t to);

// Reads the head of a reply to a ranged GET as its bytes arrive in pieces of any size.
// The head is accumulated up to kMaxHead bytes until CR LF CR LF (even when that sequence is
// split between pieces); then the reply is classified:
//   3xx                   -> kRedirect, location() = value of the last "Location:" line
//                            (leading spaces trimmed; empty when none, which is kFail)
//   206 with a Content-Range whose first byte is `expected_start` -> kBody, skip() = 0
//   200                   -> kBody: the whole file from byte 0, skip() = expected_start bytes
//                            of body to discard before writing
//   anything else (4xx, 5xx, 416, 206 elsewhere, no status, a head over kMaxHead) -> kFail
// With kBody, body_offset() is where the body begins inside the bytes of the last Feed call.
class RangeReplyHead {
 public:
  enum class Outcome { kNeedMore, kRedirect, kBody, kFail };
  static constexpr size_t kMaxHead = 16 * 1024;

  explicit RangeReplyHead(int64_t expected_start) : expected_start_(expected_start) {}
  Outcome Feed(const char* data, size_t size);

  int status() const { return status_; }
  const std::string& location() const { return location_; }
  size_t body_offset() const { return body_offset_; }
  int64_t skip() const { return skip_; }

 private:
  int64_t expected_start_;
  std::string head_;
  int status_ = 0;
  std::string location_;
  size_t body_offset_ = 0;
  int64_t skip_ = 0;
};

// First byte of "Content-Range: bytes a-b/total" (header name in any case); -1 when absent or
// malformed.
int64_t ContentRangeStart(const std::vector<std::string>& lines);
