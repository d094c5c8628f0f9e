#include "net/http_reply.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "platform/text.h"

namespace {

constexpr size_t kMaxHeadSize = 4096;
constexpr size_t kMaxChunkLineSize = 10;
// Bodies grow as bytes arrive rather than being reserved from an announced size, so a peer
// announcing a huge chunk and closing costs no more memory than it actually sent.
constexpr size_t kReadPieceSize = 1024 * 1024;

bool EndsWith(const std::string& text, const char* suffix, size_t suffixSize) {
  return text.size() >= suffixSize &&
         text.compare(text.size() - suffixSize, suffixSize, suffix) == 0;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

// Two's-complement reinterpretation without relying on implementation-defined conversion.
int32_t AsSigned32(uint32_t value) {
  if (value <= static_cast<uint32_t>(INT32_MAX)) return static_cast<int32_t>(value);
  return -static_cast<int32_t>(~value) - 1;
}

// ReceiveExact of one byte, without its buffer: heads and chunk lines are read this way so
// that no byte past them leaves the source.
char ReceiveByte(ByteSource& source) {
  char byte = 0;
  if (source.Read(&byte, 1) == 0) throw std::runtime_error("Server can't send data");
  return byte;
}

}  // namespace

std::vector<std::string> SplitHeaderLines(const std::string& head) { return Split(head, "\r\n"); }

std::string StatusOf(const std::vector<std::string>& lines) {
  if (lines.empty() || lines[0].size() <= 11) return std::string();
  return lines[0].substr(9, 3);
}

int64_t ContentLengthOf(const std::vector<std::string>& lines) {
  static const std::string kName = "Content-Length:";
  for (const auto& line : lines) {
    if (line.size() > kName.size() && line.compare(0, kName.size(), kName) == 0) {
      return ParseInt64(line.substr(kName.size()));
    }
  }
  return 0;
}

int32_t ParseChunkSizeLine(const std::string& line) {
  const size_t end = line.find("\r\n");
  if (end == std::string::npos) return -1;
  uint32_t value = 0;
  for (size_t i = 0; i < end; ++i) {
    value = (value << 4) | static_cast<uint32_t>(HexDigitValue(line[i]));
  }
  return AsSigned32(value);
}

std::string ReceiveExact(ByteSource& source, size_t n) {
  // Bytes land straight in the result, which grows (at most doubling) only as they arrive: an
  // announced size costs no memory until the peer actually sends that much.
  std::string received;
  size_t have = 0;
  while (have < n) {
    const size_t wanted = std::min(n - have, kReadPieceSize);
    if (received.size() < have + wanted) {
      received.resize(std::min(n, std::max(have + wanted, received.size() * 2)));
    }
    const size_t got = source.Read(&received[have], wanted);
    if (got == 0) throw std::runtime_error("Server can't send data");
    have += std::min(got, wanted);
  }
  received.resize(have);
  return received;
}

std::string ReadReplyHead(ByteSource& source) {
  std::string head;
  do {
    head += ReceiveByte(source);
  } while (head.size() < kMaxHeadSize && !EndsWith(head, "\r\n\r\n", 4));
  return head;
}

std::string ReadChunkLine(ByteSource& source) {
  std::string line;
  do {
    line += ReceiveByte(source);
  } while (line.size() < kMaxChunkLineSize && !EndsWith(line, "\r\n", 2));
  return line;
}

std::string ReadChunkedBody(ByteSource& source) {
  std::string body;
  for (;;) {
    int32_t size = ParseChunkSizeLine(ReadChunkLine(source));
    // A zero here is usually the CR LF closing the previous chunk's data; the next line
    // carries the real size.
    if (size == 0) size = ParseChunkSizeLine(ReadChunkLine(source));
    if (size < 0) throw std::runtime_error("Read body stream error");
    if (size == 0) return body;
    body += ReceiveExact(source, static_cast<size_t>(size));
  }
}
