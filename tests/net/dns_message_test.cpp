#include "net/dns_message.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

const char kHost[] = "abc.defghij.klm";  // labels of 3, 7 and 3 characters

void Append(Bytes* out, const std::string& text) { out->insert(out->end(), text.begin(), text.end()); }

void Append16(Bytes* out, size_t value) {
  out->push_back(static_cast<uint8_t>(value >> 8));
  out->push_back(static_cast<uint8_t>(value & 0xFF));
}

uint32_t Address(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const uint8_t bytes[4] = {a, b, c, d};
  uint32_t address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

// A reply to the query for kHost: the query echoed as header and question, then answers.
// Owner names point back at the question name (offset 12).
class Reply {
 public:
  Reply() : bytes_(BuildDnsQuery(kHost, 7)) {
    bytes_[2] = 0x81;
    bytes_[3] = 0x80;
    answer_offset_ = bytes_.size();
  }

  Reply& A(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    Fixed(1, 4);
    for (uint8_t octet : {a, b, c, d}) bytes_.push_back(octet);
    return Count();
  }
  // CNAME data "\5alias" + pointer to the question name: 8 bytes, declared as dataLength.
  Reply& Cname(size_t dataLength = 8) {
    Fixed(5, dataLength);
    Append(&bytes_, std::string("\5alias\xC0\x0C", 8));
    return Count();
  }

  // Owner name of the answers added from now on.
  Reply& Owner(const std::string& name) {
    owner_ = name;
    return *this;
  }

  Bytes bytes() const { return bytes_; }
  Bytes& raw() { return bytes_; }
  size_t answerOffset() const { return answer_offset_; }

  bool Parse(std::vector<uint32_t>* addresses) const {
    return ParseDnsReply(bytes_.data(), bytes_.size(), answer_offset_, addresses);
  }

 private:
  void Fixed(size_t type, size_t dataLength) {
    Append(&bytes_, owner_);
    Append16(&bytes_, type);
    Append16(&bytes_, 1);
    Append(&bytes_, std::string("\0\0\x0e\x10", 4));
    Append16(&bytes_, dataLength);
  }
  Reply& Count() {
    const size_t count = ((bytes_[6] << 8) | bytes_[7]) + 1;
    bytes_[6] = static_cast<uint8_t>(count >> 8);
    bytes_[7] = static_cast<uint8_t>(count & 0xFF);
    return *this;
  }

  Bytes bytes_;
  size_t answer_offset_;
  std::string owner_ = std::string("\xC0\x0C", 2);
};

struct Decoded {
  bool ok = false;
  std::string name;
  size_t consumed = 0;
};

Decoded Decode(const std::string& reply, size_t offset) {
  Decoded d;
  d.ok = DecodeDnsName(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), offset,
                       &d.name, &d.consumed);
  return d;
}

std::string Label(size_t length) { return std::string(1, static_cast<char>(length)) + std::string(length, 'x'); }

}  // namespace

TEST(DnsLabelLength, DotsBecomeLengthsUpToTheFirstZero) {
  struct Case {
    std::string host;
    size_t expected;
  } cases[] = {
      {"a.bc", 5},
      {kHost, 16},
      {"localhost", 10},
      {std::string(100, 'x'), 101},  // labels are not limited to 63
      {"", 0},                       // the appended dot alone gives a zero length
      {"a..b", 2},                   // the empty label's zero length ends the form
      {"a.b.", 4},
      {std::string(256, 'x'), 0},    // a length of 256 is written as the byte 0
  };
  for (const auto& c : cases) EXPECT_EQ(DnsLabelLength(c.host), c.expected) << c.host;
}

TEST(BuildDnsQuery, ExactBytesForThreeLabels) {
  const Bytes query = BuildDnsQuery(kHost, 0x1234);
  Bytes expected = {0x34, 0x12, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
  Append(&expected, std::string("\3abc\7defghij\3klm", 16));
  Append(&expected, std::string("\0\0\1\0\1", 5));
  EXPECT_EQ(query.size(), 33u);
  EXPECT_EQ(query, expected);
}

TEST(BuildDnsQuery, SizeIsSeventeenPlusLabelLength) {
  for (const std::string& host :
       std::vector<std::string>{"", "a..b", "x.y.", std::string(300, 'q') + ".example"}) {
    const Bytes query = BuildDnsQuery(host, 1);
    const size_t length = DnsLabelLength(host);
    ASSERT_EQ(query.size(), 17 + length) << host;
    EXPECT_EQ(query[12 + length], 0) << host;
    EXPECT_EQ(Bytes(query.end() - 4, query.end()), (Bytes{0, 1, 0, 1})) << host;
  }
}

TEST(DnsReplyId, ReadsWhatTheQueryWrote) {
  for (uint16_t id : {0, 1, 0x00FF, 0xABCD, 0xFFFF}) {
    const Bytes query = BuildDnsQuery(kHost, id);
    uint16_t read = 0;
    ASSERT_TRUE(DnsReplyId(query.data(), query.size(), &read));
    EXPECT_EQ(read, id);
  }
  uint16_t read = 0;
  const uint8_t one = 5;
  EXPECT_FALSE(DnsReplyId(&one, 1, &read));
}

TEST(DecodeDnsName, PlainCompressedAndRootNames) {
  const std::string reply = std::string("\3abc\7defghij\3klm\0", 17) +
                            std::string("\5alias\xC0\x00", 8) + std::string("\xC0\x11", 2);
  struct Case {
    size_t offset;
    std::string name;
    size_t consumed;
  } cases[] = {
      {0, kHost, 17},                   // labels and the zero byte
      {4, "defghij.klm", 13},           // starting in the middle
      {16, "", 1},                      // the root name: the zero byte alone
      {17, "alias.abc.defghij.klm", 8}, // six bytes before the pointer, plus its two
      {25, "alias.abc.defghij.klm", 2}, // a pointer straight away
  };
  for (const auto& c : cases) {
    const Decoded d = Decode(reply, c.offset);
    ASSERT_TRUE(d.ok) << c.offset;
    EXPECT_EQ(d.name, c.name) << c.offset;
    EXPECT_EQ(d.consumed, c.consumed) << c.offset;
  }
}

TEST(DecodeDnsName, HostileNamesFail) {
  struct Case {
    const char* what;
    std::string reply;
    size_t offset;
  } cases[] = {
      {"pointer to itself", std::string("\xC0\x00", 2), 0},
      {"two pointers in a loop", std::string("\1a\xC0\x04\1b\xC0\x00", 8), 0},
      {"pointer past the end", std::string("\1a\xC0\x40", 4), 0},
      {"pointer without its second byte", std::string("\1a\xC0", 3), 0},
      {"no terminating zero", std::string("\3abc", 4), 0},
      {"offset past the end", std::string("\0", 1), 1},
      {"label longer than the name", std::string("\5ab\0", 4), 0},
      {"300-byte name", Label(60) + Label(60) + Label(60) + Label(60) + Label(60) + std::string(1, '\0'), 0},
      {"256-byte name", Label(64) + Label(63) + Label(63) + Label(63) + std::string(1, '\0'), 0},
  };
  for (const auto& c : cases) EXPECT_FALSE(Decode(c.reply, c.offset).ok) << c.what;
}

TEST(DecodeDnsName, NameOfExactly255BytesIsAccepted) {
  const std::string reply = Label(63) + Label(63) + Label(63) + Label(63) + std::string(1, '\0');
  const Decoded d = Decode(reply, 0);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.name.size(), 255u);
  EXPECT_EQ(d.consumed, reply.size());
}

TEST(ParseDnsReply, CnameThenTwoAddresses) {
  std::vector<uint32_t> addresses;
  ASSERT_TRUE(Reply().Cname().A(1, 2, 3, 4).A(5, 6, 7, 8).Parse(&addresses));
  EXPECT_EQ(addresses, (std::vector<uint32_t>{Address(1, 2, 3, 4), Address(5, 6, 7, 8)}));
}

TEST(ParseDnsReply, KeepsTheFirstTwentyOfTwentyFive) {
  Reply reply;
  for (uint8_t i = 1; i <= 25; ++i) reply.A(10, 0, 0, i);
  std::vector<uint32_t> addresses;
  ASSERT_TRUE(reply.Parse(&addresses));
  ASSERT_EQ(addresses.size(), 20u);
  EXPECT_EQ(addresses.front(), Address(10, 0, 0, 1));
  EXPECT_EQ(addresses.back(), Address(10, 0, 0, 20));
}

TEST(ParseDnsReply, NonAddressDataAdvancesByTheNameItHolds) {
  // RDLENGTH claims 100 bytes; the next answer starts right after the 8-byte name.
  std::vector<uint32_t> addresses;
  ASSERT_TRUE(Reply().Cname(100).A(9, 9, 9, 9).Parse(&addresses));
  EXPECT_EQ(addresses, std::vector<uint32_t>{Address(9, 9, 9, 9)});
}

TEST(ParseDnsReply, QuestionSectionIsNotExamined) {
  Reply reply;
  reply.Owner(std::string("\2ab\0", 4)).A(1, 1, 1, 1);
  for (size_t i = 12; i < reply.answerOffset(); ++i) reply.raw()[i] = 0xC0;  // a pointer loop
  std::vector<uint32_t> addresses;
  EXPECT_TRUE(reply.Parse(&addresses));
}

TEST(ParseDnsReply, FailsWithoutAddressesOrOnMalformedAnswers) {
  struct Case {
    const char* what;
    Bytes bytes;
    size_t answerOffset;
  } cases[] = {
      {"no answers", Reply().bytes(), Reply().answerOffset()},
      {"only CNAMEs", Reply().Cname().Cname().bytes(), Reply().answerOffset()},
      {"shorter than a header", Bytes(11, 0), 11},
      {"answer offset past the end", Reply().A(1, 2, 3, 4).bytes(), 1000},
  };
  for (auto& c : cases) {
    std::vector<uint32_t> addresses{123};
    EXPECT_FALSE(ParseDnsReply(c.bytes.data(), c.bytes.size(), c.answerOffset, &addresses))
        << c.what;
    EXPECT_TRUE(addresses.empty()) << c.what;
  }
}

TEST(ParseDnsReply, EveryTruncationFails) {
  const Reply full = Reply().A(1, 2, 3, 4).Cname().A(5, 6, 7, 8);
  const Bytes bytes = full.bytes();
  for (size_t size = 0; size < bytes.size(); ++size) {
    const Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    std::vector<uint32_t> addresses;
    EXPECT_FALSE(ParseDnsReply(cut.data(), cut.size(), full.answerOffset(), &addresses)) << size;
  }
}

TEST(ParseDnsReply, AddressDataShorterThanFourBytesFails) {
  Reply reply;
  reply.A(1, 2, 3, 4);
  reply.raw()[reply.raw().size() - 5] = 3;  // RDLENGTH
  reply.raw().pop_back();
  std::vector<uint32_t> addresses;
  EXPECT_FALSE(reply.Parse(&addresses));
}
