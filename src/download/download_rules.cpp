#include "download/download_rules.h"

#include <limits>

#include "platform/path_rules.h"
#include "platform/text.h"

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// Reads an unsigned decimal at *at and advances past it. Refuses an empty run of digits and any
// value beyond int64: these numbers come from the network and feed file offsets.
bool ReadDecimal(const std::string& text, size_t* at, int64_t* value) {
  const size_t begin = *at;
  int64_t result = 0;
  size_t i = begin;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const int digit = text[i] - '0';
    if (result > (std::numeric_limits<int64_t>::max() - digit) / 10) return false;
    result = result * 10 + digit;
  }
  if (i == begin) return false;
  *at = i;
  *value = result;
  return true;
}

void SkipBlanks(const std::string& text, size_t* at) {
  while (*at < text.size() && (text[*at] == ' ' || text[*at] == '\t')) ++*at;
}

// "bytes a-b/total" with blanks tolerated around each part; total may be "*". Only the syntax is
// checked: the caller compares the first byte with the one it asked for.
int64_t RangeStartOfValue(const std::string& value) {
  size_t at = 0;
  SkipBlanks(value, &at);
  static const std::string kUnit = "bytes";
  if (!EqualsIgnoringCase(value.substr(at, kUnit.size()), kUnit)) return -1;
  at += kUnit.size();
  // The unit must stand apart from the number ("bytes300-" is not a range).
  if (at >= value.size() || (value[at] != ' ' && value[at] != '\t')) return -1;
  SkipBlanks(value, &at);
  int64_t first = 0;
  int64_t last = 0;
  if (!ReadDecimal(value, &at, &first)) return -1;
  SkipBlanks(value, &at);
  if (at >= value.size() || value[at] != '-') return -1;
  ++at;
  SkipBlanks(value, &at);
  if (!ReadDecimal(value, &at, &last)) return -1;
  SkipBlanks(value, &at);
  if (at >= value.size() || value[at] != '/') return -1;
  ++at;
  SkipBlanks(value, &at);
  if (at < value.size() && value[at] == '*') {
    ++at;
  } else {
    int64_t total = 0;
    if (!ReadDecimal(value, &at, &total)) return -1;
  }
  SkipBlanks(value, &at);
  return at == value.size() ? first : -1;
}

const char kHeadEnd[] = "\r\n\r\n";
constexpr size_t kHeadEndSize = 4;

bool HeadIsComplete(const std::string& head) {
  return head.size() >= kHeadEndSize &&
         head.compare(head.size() - kHeadEndSize, kHeadEndSize, kHeadEnd) == 0;
}

// The status code of the first line, 0 when the line is too short or the code is not three
// digits.
int StatusOfLines(const std::vector<std::string>& lines) {
  if (lines.empty() || lines[0].size() <= 11) return 0;
  const std::string code = lines[0].substr(9, 3);
  for (const char c : code) {
    if (!IsDigit(c)) return 0;
  }
  return static_cast<int>(ParseInt64(code));
}

struct HeadVerdict {
  RangeReplyHead::Outcome outcome = RangeReplyHead::Outcome::kFail;
  int status = 0;
  std::string location;
  int64_t skip = 0;
};

HeadVerdict Classify(const std::string& head, int64_t expected_start) {
  using Outcome = RangeReplyHead::Outcome;
  HeadVerdict verdict;
  const auto lines = Split(head, "\r\n");
  verdict.status = StatusOfLines(lines);
  if (verdict.status >= 300 && verdict.status <= 399) {
    // Every Location line replaces the previous one, so a server that repeats it is followed
    // to the last one it sent.
    for (const auto& line : lines) {
      if (StartsWith(line, "Location:")) verdict.location = TrimLeft(line.substr(9), " ");
    }
    if (!verdict.location.empty()) verdict.outcome = Outcome::kRedirect;
  } else if (expected_start < 0) {
    // No file offset at all; it must not meet ContentRangeStart's -1 for "absent" below.
    return verdict;
  } else if (verdict.status == 206) {
    // A partial body from any other offset would land at the wrong place in the file.
    if (ContentRangeStart(lines) == expected_start) verdict.outcome = Outcome::kBody;
  } else if (verdict.status == 200) {
    // The server ignored the range: the body starts at byte 0 of the file.
    verdict.skip = expected_start;
    verdict.outcome = Outcome::kBody;
  }
  return verdict;
}

}  // namespace

bool ParseUrl(const std::string& url, UrlParts* parts) {
  if (parts == nullptr) return false;
  const auto pieces = Split(url, "/");
  if (pieces.size() < 3) return false;
  const std::string& authority = pieces[1];
  // Splitting drops empty pieces, so ":8080" would otherwise turn the port into the host.
  if (authority.front() == ':') return false;
  const auto hostPort = Split(authority, ":");
  if (hostPort.empty() || hostPort.size() > 2) return false;
  uint16_t port = 80;
  if (hostPort.size() == 2) {
    size_t at = 0;
    int64_t value = 0;
    if (!ReadDecimal(hostPort[1], &at, &value) || at != hostPort[1].size() || value < 1 ||
        value > 65535) {
      return false;
    }
    port = static_cast<uint16_t>(value);
  }
  std::string path;
  for (size_t i = 2; i < pieces.size(); ++i) path += "/" + pieces[i];
  parts->host = hostPort[0];
  parts->port = port;
  parts->path = path;
  return true;
}

std::vector<ByteRange> SplitRanges(int64_t total, int32_t workers) {
  std::vector<ByteRange> ranges;
  if (total <= 0 || workers <= 0) return ranges;
  const int64_t chunk = total / workers;
  const int64_t rest = total % workers;
  ranges.reserve(static_cast<size_t>(workers));
  for (int32_t i = 0; i < workers; ++i) {
    const int64_t start = i * chunk;
    ranges.push_back({start, start + chunk - 1});
  }
  ranges.back().end += rest;
  return ranges;
}

bool VersionNotOlder(const std::string& a, const std::string& b) {
  const auto left = Split(a, ".");
  const auto right = Split(b, ".");
  if (left.empty() || left.size() != right.size()) return false;
  for (size_t i = 0; i < left.size(); ++i) {
    if (ParseInt64(left[i]) < ParseInt64(right[i])) return false;
  }
  return true;
}

std::string FileNameFromHeaders(const std::vector<std::string>& lines) {
  static const std::string kKey = "filename=";
  for (const auto& line : lines) {
    const auto at = line.find(kKey);
    if (at == std::string::npos) continue;
    const auto pieces = Split(line.substr(at + kKey.size()), "\"");
    return pieces.empty() ? std::string() : pieces.front();
  }
  return std::string();
}

std::wstring DerivedSetupName(const std::wstring& ownFileName, const std::wstring& version) {
  const std::wstring stem = RemoveAll(ExtensionOf(ownFileName), ownFileName);
  // Without a stem the name would start with "_install"; a fixed name is clearer to the user.
  if (stem.empty()) return L"VelmorPkg.exe";
  std::wstring name = stem;
  if (FindFirst(name, std::wstring(L"_install")) < 0) name += L"_install";
  if (!version.empty()) name += L"_v" + version;
  return name + L".exe";
}

std::wstring ChannelSetupName(const std::string& ownVersion) {
  const auto pieces = Split(ownVersion, ".");
  if (pieces.size() != 4) return std::wstring();
  switch (ParseInt64(pieces[1])) {
    case 96:
      return L"install_tengxun0.exe";
    case 97:
      return L"install_qihu3600.exe";
    case 98:
      return L"install_jinshan0.exe";
    case 99:
      return L"install_huawei00.exe";
    default:
      return std::wstring();
  }
}

std::string RedirectTarget(const std::vector<std::string>& lines, const std::string& host,
                           uint16_t port) {
  for (const auto& line : lines) {
    if (!StartsWith(line, "Location:")) continue;
    const std::string value = TrimLeft(line.substr(9), " ");
    if (!StartsWith(value, "http") && StartsWith(value, "/")) {
      return "http://" + host + ":" + FormatInt64(port) + value;
    }
    return value;
  }
  return std::string();
}

std::string RangeRequestText(const std::string& host, const std::string& path, int64_t from,
                             int64_t to) {
  return "GET " + path + " HTTP/1.1\r\nHost:" + host + "\r\nAccept:*/*\r\nRange:bytes=" +
         FormatInt64(from) + "-" + FormatInt64(to) +
         "\r\nUser-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\nConnection:close"
         "\r\n\r\n";
}

RangeReplyHead::Outcome RangeReplyHead::Feed(const char* data, size_t size) {
  // The head keeps what decided the outcome: a complete head ends with the blank line, a head
  // that was too long holds kMaxHead + 1 bytes. Either way the outcome is final.
  if (head_.size() > kMaxHead) return Outcome::kFail;
  if (HeadIsComplete(head_)) return Classify(head_, expected_start_).outcome;
  if (data == nullptr || size == 0) return Outcome::kNeedMore;

  const size_t before = head_.size();
  // One byte beyond the limit is enough to know the head is too long; no more is kept.
  const size_t take = size < kMaxHead + 1 - before ? size : kMaxHead + 1 - before;
  head_.append(data, take);
  // The blank line may have begun in an earlier piece, so the search starts up to three bytes
  // back.
  const size_t from = before >= kHeadEndSize - 1 ? before - (kHeadEndSize - 1) : 0;
  const auto at = head_.find(kHeadEnd, from);
  if (at == std::string::npos || at + kHeadEndSize > kMaxHead) {
    return head_.size() > kMaxHead ? Outcome::kFail : Outcome::kNeedMore;
  }
  const size_t headSize = at + kHeadEndSize;
  head_.resize(headSize);
  // The blank line ends inside this piece (it was not in the earlier ones), so the offset is at
  // most `size`.
  body_offset_ = headSize - before;
  const HeadVerdict verdict = Classify(head_, expected_start_);
  status_ = verdict.status;
  location_ = verdict.location;
  skip_ = verdict.skip;
  return verdict.outcome;
}

int64_t ContentRangeStart(const std::vector<std::string>& lines) {
  static const std::string kName = "content-range";
  for (const auto& line : lines) {
    const auto colon = line.find(':');
    if (colon == std::string::npos || !EqualsIgnoringCase(line.substr(0, colon), kName)) continue;
    return RangeStartOfValue(line.substr(colon + 1));
  }
  return -1;
}

std::string SafeFileName(const std::string& name) {
  const auto slash = name.find_last_of("/\\");
  const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
  if (last.empty() || last == "." || last == "..") return std::string();
  for (const char c : last) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string(":*?\"<>|").find(c) != std::string::npos) {
      return std::string();
    }
  }
  return last;
}
