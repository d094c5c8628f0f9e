// A reply head and a chunked body from arbitrary bytes, handed out in uneven slices: no crash,
// the head reader never takes a body byte, and only the readers' own errors escape.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "net/http_reply.h"

namespace {

// Slice sizes come from a small generator seeded by the input, so the same input always splits
// the same way while the bytes themselves stay untouched.
class SlicedSource : public ByteSource {
 public:
  SlicedSource(const uint8_t* data, size_t size)
      : data_(data), size_(size), state_(static_cast<uint32_t>(size) * 2654435761u + 1) {}

  size_t Read(char* buffer, size_t size) override {
    if (size == 0) std::abort();
    state_ = state_ * 1103515245u + 12345u;
    const size_t slice = 1 + (state_ >> 16) % 13;
    const size_t n = std::min({size, slice, size_ - position_});
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
  }

  size_t position() const { return position_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
  uint32_t state_;
};

bool IsReaderError(const std::string& message) {
  return message == "Server can't send data" || message == "Read body stream error";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ParseChunkSizeLine(text);

  SlicedSource source(data, size);
  try {
    const std::string head = ReadReplyHead(source);
    if (source.position() != head.size() || head.size() > 4096) std::abort();
    if (head.compare(0, std::string::npos, text, 0, head.size()) != 0) std::abort();
    const bool blankLine = head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0;
    if (!blankLine && head.size() != 4096) std::abort();

    const auto lines = SplitHeaderLines(head);
    if (StatusOf(lines).size() > 3) std::abort();
    ContentLengthOf(lines);

    const size_t before = source.position();
    const std::string body = ReadChunkedBody(source);
    if (body.size() > source.position() - before) std::abort();
  } catch (const std::runtime_error& e) {
    if (!IsReaderError(e.what())) std::abort();
  }
  return 0;
}
