// A ranged reply from arbitrary bytes, handed to the head reader in uneven slices: no crash, the
// same outcome and the same body start as when the bytes arrive in one piece, and the body start
// is exactly after the first blank line. The header rules run over the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "download/download_rules.h"
#include "platform/text.h"

namespace {

using Outcome = RangeReplyHead::Outcome;

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Result {
  Outcome outcome = Outcome::kNeedMore;
  size_t body_start = 0;  // absolute index of the first body byte, with kBody
};

// Slice sizes come from a generator seeded by the input, so the same input always splits the
// same way while the bytes themselves stay untouched. Mostly small slices, sometimes large ones
// so that heads near the limit are reached in a few steps.
Result FeedSliced(RangeReplyHead* head, const std::string& text, uint32_t seed) {
  Result result;
  uint32_t state = seed;
  size_t position = 0;
  while (position < text.size()) {
    state = state * 1103515245u + 12345u;
    const uint32_t pick = state >> 16;
    size_t slice = (pick & 7) == 0 ? 1 + pick % 4096 : pick % 17;  // empty slices included
    if (slice > text.size() - position) slice = text.size() - position;
    result.outcome = head->Feed(text.data() + position, slice);
    if (result.outcome != Outcome::kNeedMore) {
      if (result.outcome == Outcome::kBody) {
        Check(head->body_offset() <= slice);
        result.body_start = position + head->body_offset();
      }
      return result;
    }
    position += slice;
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto lines = Split(text, "\r\n");

  const int64_t rangeStart = ContentRangeStart(lines);
  Check(rangeStart >= -1);

  // Sometimes the start the reply names, so that matching partial replies are reached too.
  int64_t expected = 0;
  if (size > 0) {
    switch (data[0] % 4) {
      case 0:
        expected = rangeStart;
        break;
      case 1:
        expected = data[size - 1];
        break;
      case 2:
        expected = -1;
        break;
      default:
        expected = 0;
        break;
    }
  }

  RangeReplyHead whole(expected);
  Result reference;
  reference.outcome = whole.Feed(text.data(), text.size());
  if (reference.outcome == Outcome::kBody) reference.body_start = whole.body_offset();

  // Independent of either reader: where the head must end, if anywhere.
  const size_t blank = text.find("\r\n\r\n");
  const bool headFits = blank != std::string::npos && blank + 4 <= RangeReplyHead::kMaxHead;
  if (headFits) {
    Check(reference.outcome != Outcome::kNeedMore);
  } else if (size > RangeReplyHead::kMaxHead) {
    Check(reference.outcome == Outcome::kFail);
  } else {
    Check(reference.outcome == Outcome::kNeedMore);
  }
  if (reference.outcome == Outcome::kBody) {
    Check(reference.body_start == blank + 4);
    Check(whole.status() == 200 || whole.status() == 206);
    Check(whole.skip() == (whole.status() == 200 ? expected : 0));
    Check(expected >= 0);
  }
  if (reference.outcome == Outcome::kRedirect) {
    Check(whole.status() >= 300 && whole.status() <= 399);
    Check(!whole.location().empty() && whole.location()[0] != ' ');
  }

  const uint32_t seed = static_cast<uint32_t>(size) * 2654435761u + (size > 0 ? data[0] : 0u);
  RangeReplyHead sliced(expected);
  const Result result = FeedSliced(&sliced, text, seed);
  Check(result.outcome == reference.outcome);
  Check(result.body_start == reference.body_start);
  Check(sliced.status() == whole.status());
  Check(sliced.location() == whole.location());
  Check(sliced.skip() == whole.skip());
  // A final outcome does not change with more bytes.
  if (result.outcome != Outcome::kNeedMore) {
    Check(sliced.Feed(text.data(), text.size()) == result.outcome);
  }

  UrlParts parts;
  if (ParseUrl(text, &parts)) {
    Check(!parts.host.empty() && parts.port != 0);
    Check(parts.path.size() >= 2 && parts.path[0] == '/');
  }
  const std::string target = RedirectTarget(lines, parts.host, parts.port);
  Check(target.size() <= text.size() + parts.host.size() + 16);
  const std::string name = FileNameFromHeaders(lines);
  Check(name.find('"') == std::string::npos && name.size() <= text.size());
  return 0;
}
