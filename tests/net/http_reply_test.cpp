#include "net/http_reply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// Hands out text in the given slice sizes (the last one repeating), then reports the peer
// closed. Remembers what was handed out and the largest request it saw.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string text, std::vector<size_t> slices = {1})
      : text_(std::move(text)), slices_(std::move(slices)) {}

  size_t Read(char* buffer, size_t size) override {
    largest_request_ = std::max(largest_request_, size);
    const size_t slice = slices_[std::min(reads_++, slices_.size() - 1)];
    const size_t n = std::min({size, slice, text_.size() - position_});
    std::memcpy(buffer, text_.data() + position_, n);
    position_ += n;
    return n;
  }

  size_t position() const { return position_; }
  std::string rest() const { return text_.substr(position_); }
  size_t largest_request() const { return largest_request_; }

 private:
  std::string text_;
  std::vector<size_t> slices_;
  size_t reads_ = 0;
  size_t position_ = 0;
  size_t largest_request_ = 0;
};

const std::vector<std::vector<size_t>> kSlicings = {{1}, {2, 5, 1, 3}, {7}, {1000000}};

std::string ErrorOf(void (*call)(ByteSource&), ByteSource& source) {
  try {
    call(source);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(SplitHeaderLines, SplitsAtEveryCrAndLf) {
  EXPECT_EQ(SplitHeaderLines("HTTP/1.1 200 OK\r\nA: b\r\n\r\n"),
            (std::vector<std::string>{"HTTP/1.1 200 OK", "A: b"}));
  EXPECT_EQ(SplitHeaderLines("a\rb\nc\n\r\r\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_TRUE(SplitHeaderLines("\r\n\r\n").empty());
}

TEST(StatusOf, ThreeCharactersAtNineOfALongEnoughFirstLine) {
  struct Case {
    std::vector<std::string> lines;
    std::string expected;
  } cases[] = {
      {{"HTTP/1.1 200 OK"}, "200"},
      {{"HTTP/1.1 404"}, "404"},       // 12 characters: long enough
      {{"HTTP/1.1 20"}, ""},           // 11 characters: too short
      {{"HTTP/1.1 2000000"}, "200"},
      {{"short", "HTTP/1.1 200 OK"}, ""},
      {{}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusOf(c.lines), c.expected) << (c.lines.empty() ? "" : c.lines[0]);
  }
}

TEST(ContentLengthOf, FirstExactCaseLineWithAValue) {
  struct Case {
    std::vector<std::string> lines;
    int64_t expected;
  } cases[] = {
      {{"HTTP/1.1 200 OK", "Content-Length: 5"}, 5},
      {{"HTTP/1.1 200 OK", "content-length: 5"}, 0},
      {{"Content-Length:1234567890123"}, 1234567890123},
      {{"Content-Length:   12abc"}, 12},
      {{"Content-Length: x"}, 0},
      {{"Content-Length:", "Content-Length: 7"}, 7},  // 15 characters are not enough
      {{"Content-Length: 3", "Content-Length: 7"}, 3},
      {{"X-Content-Length: 3"}, 0},
      {{}, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContentLengthOf(c.lines), c.expected) << (c.lines.empty() ? "" : c.lines.back());
  }
}

TEST(ParseChunkSizeLine, HexBeforeCrLfAsSigned32) {
  struct Case {
    std::string line;
    int32_t expected;
  } cases[] = {
      {"5\r\n", 5},
      {"1a\r\n", 26},
      {"FF\r\n", 255},
      {"\r\n", 0},
      {"\r\n5", 0},
      {"5", -1},
      {"5\n", -1},
      {"5\r", -1},
      {"", -1},
      {"g\r\n", 0},          // a non-hex character counts as 0
      {"5;x\r\n", 0x500},
      {"\r5\r\n", 5},
      {"7fffffff\r\n", 0x7FFFFFFF},
      {"80000000\r\n", INT32_MIN},
      {"ffffffff\r\n", -1},
      {"123456789\r\n", 0x23456789},  // the top digit leaves the 32 bits
  };
  for (const auto& c : cases) EXPECT_EQ(ParseChunkSizeLine(c.line), c.expected) << c.line;
}

TEST(ReceiveExact, CollectsAcrossSlicesAndFailsWhenThePeerCloses) {
  for (const auto& slices : kSlicings) {
    MemorySource source("hello world", slices);
    EXPECT_EQ(ReceiveExact(source, 5), "hello");
    EXPECT_EQ(source.rest(), " world");
    EXPECT_EQ(ReceiveExact(source, 0), "");
    EXPECT_EQ(ErrorOf([](ByteSource& s) { ReceiveExact(s, 7); }, source),
              "Server can't send data");
  }
}

TEST(ReadReplyHead, StopsAtTheBlankLineWithoutTakingBodyBytes) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n";
  const std::string first = "HTTP/1.1 200 OK\r\nContent-Le";
  MemorySource source(head + "hello", {first.size(), 1000});
  EXPECT_EQ(ReadReplyHead(source), head);
  EXPECT_EQ(source.largest_request(), 1u);
  EXPECT_EQ(source.rest(), "hello");

  const auto lines = SplitHeaderLines(head);
  EXPECT_EQ(StatusOf(lines), "200");
  ASSERT_EQ(ContentLengthOf(lines), 5);
  EXPECT_EQ(ReceiveExact(source, 5), "hello");
}

TEST(ReadReplyHead, StopsAt4096BytesWithoutABlankLine) {
  const std::string text = "HTTP/1.1 200 OK\r\n" + std::string(5000, 'a');
  MemorySource source(text, {300});
  EXPECT_EQ(ReadReplyHead(source), text.substr(0, 4096));
  EXPECT_EQ(source.position(), 4096u);
}

TEST(ReadReplyHead, PeerClosingEarlyFails) {
  MemorySource source("HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(ErrorOf([](ByteSource& s) { ReadReplyHead(s); }, source), "Server can't send data");
}

TEST(ReadChunkLine, EndsAtCrLfOrTenBytes) {
  MemorySource source("1a\r\n0123456789abc", {4});
  EXPECT_EQ(ReadChunkLine(source), "1a\r\n");
  EXPECT_EQ(ReadChunkLine(source), "0123456789");
  EXPECT_EQ(source.rest(), "abc");
  EXPECT_EQ(source.largest_request(), 1u);
}

TEST(ReadChunkedBody, BodiesAndErrors) {
  struct Case {
    const char* what;
    std::string stream;
    std::string body;   // when error is empty
    std::string error;
    std::string rest;   // left unread after a complete body
  } cases[] = {
      {"one chunk of five letters", "5\r\nhello\r\n0\r\n\r\n", "hello", "", "\r\n"},
      {"two chunks", "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", "hello world", "", "\r\n"},
      {"upper-case size", "A\r\n0123456789\r\n0\r\n\r\n", "0123456789", "", "\r\n"},
      {"trailers are not read", "3\r\nabc\r\n0\r\nX-T: 1\r\n\r\n", "abc", "", "X-T: 1\r\n\r\n"},
      {"zero chunk first", "0\r\n\r\n", "", "", ""},
      {"closed at once", "", "", "Server can't send data", ""},
      {"closed inside a chunk", "5\r\nhel", "", "Server can't send data", ""},
      {"closed before the zero chunk", "5\r\nhello\r\n", "", "Server can't send data", ""},
      {"size line over 10 bytes", "123456789\r\nxyz", "", "Read body stream error", ""},
      {"size of 2^31", "80000000\r\n", "", "Read body stream error", ""},
      {"bad size after a chunk", "1\r\na\r\nffffffff\r\n", "", "Read body stream error", ""},
  };
  for (const auto& c : cases) {
    for (const auto& slices : kSlicings) {
      MemorySource source(c.stream, slices);
      std::string body;
      std::string error;
      try {
        body = ReadChunkedBody(source);
      } catch (const std::runtime_error& e) {
        error = e.what();
      }
      EXPECT_EQ(error, c.error) << c.what;
      if (c.error.empty()) {
        EXPECT_EQ(body, c.body) << c.what;
        EXPECT_EQ(source.rest(), c.rest) << c.what;
      }
    }
  }
}

TEST(ReadChunkedBody, HugeAnnouncedChunkFailsOnTheBytesThatCame) {
  MemorySource source("7fffffff\r\nonly a few bytes", {4096});
  EXPECT_EQ(ErrorOf([](ByteSource& s) { ReadChunkedBody(s); }, source), "Server can't send data");
}
