#include "file_server.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "scenario.h"

namespace {

std::string RealPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string result = resolved;
  std::free(resolved);
  return result;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         EqualsIgnoreCase(text.substr(text.size() - tail.size()), tail);
}

std::string ContentTypeOf(const std::string& path) {
  if (EndsWith(path, ".gif")) return "image/gif";
  if (EndsWith(path, ".png")) return "image/png";
  if (EndsWith(path, ".html") || EndsWith(path, ".htm")) return "text/html; charset=utf-8";
  if (EndsWith(path, ".json")) return "application/json";
  if (EndsWith(path, ".txt")) return "text/plain; charset=utf-8";
  return "application/octet-stream";
}

}  // namespace

bool ResolveUnderRoot(const std::string& root, const std::string& request_path,
                      std::string* file_path) {
  if (root.empty() || request_path.empty() || request_path[0] != '/') return false;
  std::string decoded;
  if (!PercentDecode(request_path, &decoded)) return false;
  if (decoded.find('\0') != std::string::npos) return false;
  // Any ".." segment is refused outright, whichever separator a client uses.
  size_t start = 0;
  while (start <= decoded.size()) {
    size_t end = decoded.find_first_of("/\\", start);
    if (end == std::string::npos) end = decoded.size();
    if (decoded.compare(start, end - start, "..") == 0 && end - start == 2) return false;
    start = end + 1;
  }
  const std::string real_root = RealPath(root);
  if (real_root.empty()) return false;
  const std::string real = RealPath(real_root + decoded);
  if (real.empty() || real.compare(0, real_root.size() + 1, real_root + "/") != 0) return false;
  struct stat info;
  if (stat(real.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *file_path = real;
  return true;
}

void ServeFile(const Request& request, const std::string& request_path, const std::string& root,
               const Action& action, Reply* reply) {
  if (request.method != "GET" && request.method != "HEAD") {
    reply->SetText(405, "method not allowed\n", "text/plain; charset=utf-8");
    reply->SetHeader("Allow", "GET, HEAD");
    return;
  }
  std::string path;
  int fd = -1;
  struct stat info;
  if (ResolveUnderRoot(root, request_path, &path)) {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0 || fstat(fd, &info) != 0) {
    if (fd >= 0) close(fd);
    reply->SetText(404, "not found\n", "text/plain; charset=utf-8");
    return;
  }
  auto file = std::make_shared<const OpenFile>(fd);
  const int64_t size = info.st_size;
  int64_t first = 0, last = size - 1;
  RangeKind kind = RangeKind::kNone;
  const std::string* range = request.Find("Range");
  if (range != nullptr && !action.ignore_range) kind = ParseRange(*range, size, &first, &last);
  if (kind == RangeKind::kUnsatisfiable) {
    reply->SetText(416, "range not satisfiable\n", "text/plain; charset=utf-8");
    reply->SetHeader("Content-Range", "bytes */" + std::to_string(size));
    return;
  }
  reply->status = kind == RangeKind::kSatisfiable ? 206 : 200;
  reply->body.clear();
  BodySegment segment;
  segment.file = file;
  segment.offset = first;
  segment.length = kind == RangeKind::kSatisfiable ? last - first + 1 : size;
  if (segment.length > 0) reply->body.push_back(segment);
  reply->SetHeader("Content-Type", ContentTypeOf(path));
  reply->SetHeader("Accept-Ranges", "bytes");
  if (kind == RangeKind::kSatisfiable) {
    reply->SetHeader("Content-Range", "bytes " + std::to_string(first) + "-" +
                                          std::to_string(last) + "/" + std::to_string(size));
  }
  if (action.has_filename) {
    reply->SetHeader("Content-Disposition", "attachment; filename=\"" + action.filename + "\"");
  }
}

std::string EncodeUrlPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : path) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
    if (plain) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return encoded;
}
