#include "net/dns_message.h"

#include <cstring>
#include <utility>

namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kFixedFieldsSize = 10;  // TYPE, CLASS, TTL, RDLENGTH
constexpr size_t kMaxAnswers = 20;
constexpr size_t kMaxNameLength = 255;
// A legitimate name needs a handful of hops; a loop needs infinitely many.
constexpr int kMaxPointerHops = 64;
constexpr uint16_t kTypeA = 1;

// Each dot of host + "." becomes the length of the text before it (one byte, so 256 wraps to
// 0); the form ends at its first zero byte, which is how an empty label cuts a name short.
std::string LabelForm(const std::string& host) {
  const std::string dotted = host + ".";
  std::string form;
  form.reserve(dotted.size());
  size_t labelStart = 0;
  for (size_t i = 0; i < dotted.size(); ++i) {
    if (dotted[i] != '.') continue;
    form += static_cast<char>(static_cast<uint8_t>(i - labelStart));
    form.append(dotted, labelStart, i - labelStart);
    labelStart = i + 1;
  }
  const size_t zero = form.find('\0');
  if (zero != std::string::npos) form.resize(zero);
  return form;
}

void PutBigEndian16(std::vector<uint8_t>* out, uint16_t value) {
  out->push_back(static_cast<uint8_t>(value >> 8));
  out->push_back(static_cast<uint8_t>(value & 0xFF));
}

uint16_t BigEndian16(const uint8_t* at) {
  return static_cast<uint16_t>((at[0] << 8) | at[1]);
}

// The copied form is length bytes and characters; a length running past the end of the copy
// can only come from a hostile reply and fails.
bool LabelsToDotted(const std::string& copied, std::string* dotted) {
  dotted->clear();
  size_t i = 0;
  while (i < copied.size()) {
    const size_t length = static_cast<uint8_t>(copied[i]);
    if (length > copied.size() - i - 1) return false;
    if (!dotted->empty()) *dotted += '.';
    dotted->append(copied, i + 1, length);
    i += 1 + length;
  }
  return dotted->size() <= kMaxNameLength;
}

}  // namespace

size_t DnsLabelLength(const std::string& host) { return LabelForm(host).size(); }

std::vector<uint8_t> BuildDnsQuery(const std::string& host, uint16_t id) {
  const std::string labels = LabelForm(host);
  std::vector<uint8_t> query;
  query.reserve(17 + labels.size());
  query.push_back(static_cast<uint8_t>(id & 0xFF));
  query.push_back(static_cast<uint8_t>(id >> 8));
  query.push_back(0x01);  // recursion desired
  query.push_back(0x00);
  PutBigEndian16(&query, 1);  // QDCOUNT
  PutBigEndian16(&query, 0);
  PutBigEndian16(&query, 0);
  PutBigEndian16(&query, 0);
  query.insert(query.end(), labels.begin(), labels.end());
  query.push_back(0);
  PutBigEndian16(&query, kTypeA);
  PutBigEndian16(&query, 1);  // class IN
  return query;
}

bool DnsReplyId(const uint8_t* reply, size_t size, uint16_t* id) {
  if (reply == nullptr || size < 2) return false;
  *id = static_cast<uint16_t>(reply[0] | (reply[1] << 8));
  return true;
}

bool DecodeDnsName(const uint8_t* reply, size_t size, size_t offset, std::string* name,
                   size_t* consumed) {
  if (reply == nullptr) return false;
  std::string copied;
  size_t pos = offset;
  size_t occupied = 0;  // bytes at offset up to the first pointer
  bool followedPointer = false;
  int hops = 0;
  for (;;) {
    if (pos >= size) return false;
    const uint8_t b = reply[pos];
    if (b == 0) break;
    if (b >= 192) {
      if (pos + 1 >= size || ++hops > kMaxPointerHops) return false;
      followedPointer = true;
      pos = static_cast<size_t>(b - 192) * 256 + reply[pos + 1];
      continue;
    }
    // Every copied byte is either a length byte or a character, so a copy longer than
    // kMaxNameLength + 1 can only become a dotted name longer than kMaxNameLength.
    if (copied.size() > kMaxNameLength) return false;
    copied += static_cast<char>(b);
    if (!followedPointer) ++occupied;
    ++pos;
  }
  if (!LabelsToDotted(copied, name)) return false;
  *consumed = occupied + 1 + (followedPointer ? 1 : 0);
  return true;
}

bool ParseDnsReply(const uint8_t* reply, size_t size, size_t answerOffset,
                   std::vector<uint32_t>* addresses) {
  addresses->clear();
  if (reply == nullptr || size < kHeaderSize) return false;
  size_t answers = BigEndian16(reply + 6);
  if (answers > kMaxAnswers) answers = kMaxAnswers;

  std::vector<uint32_t> found;
  size_t pos = answerOffset;
  std::string name;
  size_t consumed = 0;
  for (size_t i = 0; i < answers; ++i) {
    if (!DecodeDnsName(reply, size, pos, &name, &consumed)) return false;
    pos += consumed;
    if (pos > size || size - pos < kFixedFieldsSize) return false;
    const uint16_t type = BigEndian16(reply + pos);
    const size_t dataLength = BigEndian16(reply + pos + 8);
    pos += kFixedFieldsSize;
    if (type == kTypeA) {
      // Four address bytes are taken from the data, so shorter data is malformed.
      if (dataLength < 4 || size - pos < dataLength) return false;
      uint32_t address;
      std::memcpy(&address, reply + pos, sizeof address);
      found.push_back(address);
      pos += dataLength;
    } else {
      // Other data is read as a name and skipped by the bytes that name occupies, not by
      // RDLENGTH; the resolver only ever meets CNAMEs here.
      if (!DecodeDnsName(reply, size, pos, &name, &consumed)) return false;
      pos += consumed;
    }
  }
  if (found.empty()) return false;
  *addresses = std::move(found);
  return true;
}
