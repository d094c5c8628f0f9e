#include "platform/text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

template <typename S>
int FindFirstIn(const S& text, const S& needle) {
  if (text.empty() || needle.empty()) return -1;
  const auto at = text.find(needle);
  return at == S::npos ? -1 : static_cast<int>(at);
}

template <typename S>
std::vector<S> SplitOn(const S& text, const S& delimiters) {
  std::vector<S> pieces;
  typename S::size_type start = 0;
  while (start < text.size()) {
    const auto end = text.find_first_of(delimiters, start);
    const auto stop = end == S::npos ? text.size() : end;
    if (stop > start) pieces.push_back(text.substr(start, stop - start));
    start = stop + 1;
  }
  return pieces;
}

template <typename S>
S TrimLeftOf(const S& text, const S& set) {
  const auto first = text.find_first_not_of(set);
  return first == S::npos ? S() : text.substr(first);
}

}  // namespace

std::wstring Concat(const std::wstring& a, const std::wstring& b) { return a + b; }

int FindFirst(const std::string& text, const std::string& needle) { return FindFirstIn(text, needle); }
int FindFirst(const std::wstring& text, const std::wstring& needle) {
  return FindFirstIn(text, needle);
}

std::vector<std::string> Split(const std::string& text, const std::string& delimiters) {
  return SplitOn(text, delimiters);
}
std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& delimiters) {
  return SplitOn(text, delimiters);
}

std::string TrimLeft(const std::string& text, const std::string& set) { return TrimLeftOf(text, set); }
std::wstring TrimLeft(const std::wstring& text, const std::wstring& set) {
  return TrimLeftOf(text, set);
}

std::wstring TrimRight(const std::wstring& text, const std::wstring& set) {
  const auto last = text.find_last_not_of(set);
  return last == std::wstring::npos ? std::wstring() : text.substr(0, last + 1);
}

std::wstring RemoveAll(const std::wstring& needle, const std::wstring& text) {
  if (needle.empty() || needle.size() > text.size()) return text;
  std::wstring out;
  out.reserve(text.size());
  std::wstring::size_type from = 0;
  for (auto at = text.find(needle); at != std::wstring::npos; at = text.find(needle, from)) {
    out.append(text, from, at - from);
    from = at + needle.size();
  }
  out.append(text, from, std::wstring::npos);
  return out;
}

std::string ToUpperAscii(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string FormatInt64(int64_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
  return buffer;
}

int64_t ParseInt64(const std::string& text) {
  // strtoll rather than sscanf: out-of-range input saturates instead of being undefined.
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(begin, &end, 10);
  return end == begin ? 0 : static_cast<int64_t>(value);
}

std::string UrlEncode(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  static const std::string kKept = "-_.!~*'()";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == ' ') {
      out += '+';
    } else if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
               kKept.find(c) != std::string::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

int64_t UnixTime() { return static_cast<int64_t>(std::time(nullptr)); }
