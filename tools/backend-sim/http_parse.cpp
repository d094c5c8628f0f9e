#include "http_parse.h"

#include <cctype>

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses a non-negative decimal of at most 18 digits (no overflow); false otherwise.
bool ParseDecimal(const std::string& text, int64_t* value) {
  if (text.empty() || text.size() > 18) return false;
  int64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
  }
  *value = result;
  return true;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

const std::string* Request::Find(const std::string& name) const {
  for (const Header& header : headers) {
    if (EqualsIgnoreCase(header.name, name)) return &header.value;
  }
  return nullptr;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(begin, end - begin);
}

size_t FindHeadEnd(const std::string& buffer) {
  const size_t crlf = buffer.find("\r\n\r\n");
  const size_t lf = buffer.find("\n\n");
  if (crlf == std::string::npos && lf == std::string::npos) return std::string::npos;
  if (lf == std::string::npos || (crlf != std::string::npos && crlf < lf)) return crlf + 4;
  return lf + 2;
}

bool ParseRequestHead(const std::string& head, Request* request, std::string* error) {
  std::vector<std::string> lines = SplitLines(head);
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.empty()) {
    *error = "empty request";
    return false;
  }
  const std::string& first = lines[0];
  const size_t a = first.find(' ');
  const size_t b = a == std::string::npos ? a : first.find(' ', a + 1);
  if (a == std::string::npos || b == std::string::npos || a == 0 || b == a + 1) {
    *error = "malformed request line";
    return false;
  }
  request->method = first.substr(0, a);
  request->target = first.substr(a + 1, b - a - 1);
  request->version = first.substr(b + 1);
  if (request->version.compare(0, 5, "HTTP/") != 0) {
    *error = "malformed request line";
    return false;
  }
  const size_t question = request->target.find('?');
  request->path = request->target.substr(0, question);
  request->query = question == std::string::npos ? "" : request->target.substr(question + 1);
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t colon = lines[i].find(':');
    if (colon == std::string::npos || colon == 0) {
      *error = "malformed header line";
      return false;
    }
    request->headers.push_back({Trim(lines[i].substr(0, colon)), Trim(lines[i].substr(colon + 1))});
  }
  return true;
}

bool PercentDecode(const std::string& text, std::string* decoded) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  *decoded = out;
  return true;
}

std::vector<std::pair<std::string, std::string>> ParseQuery(const std::string& query) {
  std::vector<std::pair<std::string, std::string>> params;
  size_t start = 0;
  while (start < query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string piece = query.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;
    const size_t equals = piece.find('=');
    std::string name = piece.substr(0, equals);
    std::string value = equals == std::string::npos ? "" : piece.substr(equals + 1);
    std::string decoded;
    if (PercentDecode(name, &decoded)) name = decoded;
    if (PercentDecode(value, &decoded)) value = decoded;
    params.emplace_back(name, value);
  }
  return params;
}

const std::string* QueryValue(const std::vector<std::pair<std::string, std::string>>& params,
                              const std::string& name) {
  for (const auto& param : params) {
    if (param.first == name) return &param.second;
  }
  return nullptr;
}

RangeKind ParseRange(const std::string& value, int64_t size, int64_t* first, int64_t* last) {
  const std::string text = Trim(value);
  const size_t equals = text.find('=');
  if (equals == std::string::npos || !EqualsIgnoreCase(Trim(text.substr(0, equals)), "bytes")) {
    return RangeKind::kNone;
  }
  const std::string ranges = Trim(text.substr(equals + 1));
  if (ranges.find(',') != std::string::npos) return RangeKind::kNone;
  const size_t dash = ranges.find('-');
  if (dash == std::string::npos) return RangeKind::kNone;
  const std::string from = Trim(ranges.substr(0, dash));
  const std::string to = Trim(ranges.substr(dash + 1));
  int64_t a = 0, b = 0;
  if (from.empty()) {  // suffix: the last b bytes
    if (!ParseDecimal(to, &b)) return RangeKind::kNone;
    if (b == 0 || size == 0) return RangeKind::kUnsatisfiable;
    *first = b >= size ? 0 : size - b;
    *last = size - 1;
    return RangeKind::kSatisfiable;
  }
  if (!ParseDecimal(from, &a)) return RangeKind::kNone;
  if (to.empty()) {
    b = size - 1;
  } else {
    if (!ParseDecimal(to, &b)) return RangeKind::kNone;
    if (b < a) return RangeKind::kNone;  // invalid ranges are ignored, not refused
  }
  if (a >= size) return RangeKind::kUnsatisfiable;
  *first = a;
  *last = b >= size ? size - 1 : b;
  return RangeKind::kSatisfiable;
}

int DecodeChunked(const std::string& data, std::string* body, size_t* used) {
  std::string out;
  size_t at = 0;
  for (;;) {
    const size_t line_end = data.find("\r\n", at);
    if (line_end == std::string::npos) return data.size() - at > 1024 ? -1 : 0;
    std::string size_text = data.substr(at, line_end - at);
    const size_t semicolon = size_text.find(';');
    if (semicolon != std::string::npos) size_text.resize(semicolon);
    size_text = Trim(size_text);
    if (size_text.empty() || size_text.size() > 15) return -1;
    uint64_t chunk = 0;
    for (char c : size_text) {
      const int digit = HexValue(c);
      if (digit < 0) return -1;
      chunk = chunk * 16 + static_cast<uint64_t>(digit);
    }
    at = line_end + 2;
    if (chunk == 0) {
      // Trailer lines up to an empty line.
      for (;;) {
        const size_t end = data.find("\r\n", at);
        if (end == std::string::npos) return 0;
        const bool empty = end == at;
        at = end + 2;
        if (empty) {
          *body = out;
          *used = at;
          return 1;
        }
      }
    }
    if (data.size() - at < chunk + 2) return 0;
    out.append(data, at, chunk);
    at += chunk;
    if (data.compare(at, 2, "\r\n") != 0) return -1;
    at += 2;
  }
}

std::string MultipartBoundary(const std::string& content_type) {
  size_t at = 0;
  while (at < content_type.size()) {
    size_t end = content_type.find(';', at);
    if (end == std::string::npos) end = content_type.size();
    const std::string param = Trim(content_type.substr(at, end - at));
    at = end + 1;
    const size_t equals = param.find('=');
    if (equals == std::string::npos) continue;
    if (!EqualsIgnoreCase(Trim(param.substr(0, equals)), "boundary")) continue;
    std::string value = Trim(param.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return std::string();
}

bool ParseMultipart(const std::string& body, const std::string& boundary,
                    std::vector<std::pair<std::string, std::string>>* fields) {
  if (boundary.empty()) return false;
  const std::string delimiter = "--" + boundary;
  size_t at = body.find(delimiter);
  if (at == std::string::npos) return false;
  for (;;) {
    at += delimiter.size();
    if (body.compare(at, 2, "--") == 0) return true;  // closing delimiter
    if (body.compare(at, 2, "\r\n") != 0) return false;
    at += 2;
    const size_t next = body.find("\r\n" + delimiter, at);
    if (next == std::string::npos) return false;
    const std::string part = body.substr(at, next - at);
    const size_t head_end = part.find("\r\n\r\n");
    if (head_end == std::string::npos) return false;
    const std::string head = part.substr(0, head_end);
    std::string name;
    const size_t name_at = head.find("name=\"");
    if (name_at != std::string::npos) {
      const size_t close = head.find('"', name_at + 6);
      if (close != std::string::npos) name = head.substr(name_at + 6, close - name_at - 6);
    }
    fields->emplace_back(name, part.substr(head_end + 4));
    at = next + 2;
  }
}
