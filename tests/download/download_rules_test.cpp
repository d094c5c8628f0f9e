#include "download/download_rules.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();

using Outcome = RangeReplyHead::Outcome;

const char* NameOf(Outcome outcome) {
  switch (outcome) {
    case Outcome::kNeedMore:
      return "kNeedMore";
    case Outcome::kRedirect:
      return "kRedirect";
    case Outcome::kBody:
      return "kBody";
    case Outcome::kFail:
      return "kFail";
  }
  return "?";
}

struct Fed {
  Outcome outcome = Outcome::kNeedMore;
  std::string body;  // with kBody: every byte after the head, reassembled from the pieces
};

// Feeds `reply` cut at `cuts` (ascending offsets) and stops at the first final outcome, the way
// a worker hands over each receive.
Fed FeedCut(RangeReplyHead* head, const std::string& reply, const std::vector<size_t>& cuts) {
  std::vector<std::string> pieces;
  size_t from = 0;
  for (const size_t cut : cuts) {
    pieces.push_back(reply.substr(from, cut - from));
    from = cut;
  }
  pieces.push_back(reply.substr(from));
  Fed fed;
  for (size_t i = 0; i < pieces.size(); ++i) {
    fed.outcome = head->Feed(pieces[i].data(), pieces[i].size());
    if (fed.outcome == Outcome::kNeedMore) continue;
    if (fed.outcome == Outcome::kBody) {
      EXPECT_LE(head->body_offset(), pieces[i].size());
      if (head->body_offset() > pieces[i].size()) return fed;
      fed.body = pieces[i].substr(head->body_offset());
      for (size_t j = i + 1; j < pieces.size(); ++j) fed.body += pieces[j];
    }
    return fed;
  }
  return fed;
}

Fed FeedWhole(RangeReplyHead* head, const std::string& reply) { return FeedCut(head, reply, {}); }

const std::string kPartialHead =
    "HTTP/1.1 206 Partial Content\r\n"
    "Content-Type: application/octet-stream\r\n"
    "Content-Range: bytes 300000-300009/1000000\r\n"
    "Content-Length: 10\r\n"
    "\r\n";
const std::string kBody = "0123456789";

}  // namespace

TEST(SplitRanges, Table) {
  struct Case {
    int64_t total;
    int32_t workers;
    std::vector<std::pair<int64_t, int64_t>> ranges;
  } cases[] = {
      {1001, 2, {{0, 499}, {500, 1000}}},
      {1000, 2, {{0, 499}, {500, 999}}},
      {10, 3, {{0, 2}, {3, 5}, {6, 9}}},
      {1, 1, {{0, 0}}},
      // Fewer bytes than workers: the leading ranges are empty (already complete).
      {1, 2, {{0, -1}, {0, 0}}},
      {kMax64, 2, {{0, kMax64 / 2 - 1}, {kMax64 / 2, kMax64 - 1}}},
      {0, 2, {}},
      {-5, 2, {}},
      {10, 0, {}},
      {10, -1, {}},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<int64_t, int64_t>> got;
    for (const auto& r : SplitRanges(c.total, c.workers)) got.emplace_back(r.start, r.end);
    EXPECT_EQ(got, c.ranges) << c.total << " / " << c.workers;
  }
}

TEST(ParseUrl, Table) {
  struct Case {
    std::string url;
    bool ok;
    std::string host;
    uint16_t port;
    std::string path;
  } cases[] = {
      {"http://h:8080/a/b?x=1", true, "h", 8080, "/a/b?x=1"},
      {"https://cdn.example/application/soft_package/install.exe", true, "cdn.example", 80,
       "/application/soft_package/install.exe"},
      // Doubled and trailing slashes are lost with the empty pieces.
      {"http://h//a//b/", true, "h", 80, "/a/b"},
      {"http://h:65535/x", true, "h", 65535, "/x"},
      {"http://h:/x", true, "h", 80, "/x"},
      {"http://10.0.0.1:81/f.exe", true, "10.0.0.1", 81, "/f.exe"},
      {"http://h/", false, "", 0, ""},
      {"http://h", false, "", 0, ""},
      {"h/x", false, "", 0, ""},
      {"", false, "", 0, ""},
      {"///", false, "", 0, ""},
      {"http://h:1:2/x", false, "", 0, ""},
      {"http://:8080/x", false, "", 0, ""},
      {"http://h:0/x", false, "", 0, ""},
      {"http://h:65536/x", false, "", 0, ""},
      {"http://h:80x/x", false, "", 0, ""},
      {"http://h:-80/x", false, "", 0, ""},
      {"http://h:99999999999999999999999/x", false, "", 0, ""},
  };
  for (const auto& c : cases) {
    UrlParts parts;
    ASSERT_EQ(ParseUrl(c.url, &parts), c.ok) << c.url;
    if (!c.ok) continue;
    EXPECT_EQ(parts.host, c.host) << c.url;
    EXPECT_EQ(parts.port, c.port) << c.url;
    EXPECT_EQ(parts.path, c.path) << c.url;
  }
  EXPECT_FALSE(ParseUrl("http://h/x", nullptr));
}

TEST(VersionNotOlder, Table) {
  struct Case {
    const char* a;
    const char* b;
    bool notOlder;
  } cases[] = {
      {"1.2.3.4", "1.2.3.4", true},
      {"1.2.3.5", "1.2.3.4", true},
      {"1.2.3.3", "1.2.3.4", false},
      // Piece by piece, not lexically and not by the first difference.
      {"2.0", "1.5", false},
      {"1.10", "1.9", true},
      {"10.0", "9.0", true},
      {"1..2", "1.2", true},
      {"1.2.3", "1.2.3.4", false},
      {"1.2.3.4", "1.2.3", false},
      {"", "", false},
      {"", "1", false},
      {"1", "", false},
      {"...", "...", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VersionNotOlder(c.a, c.b), c.notOlder) << c.a << " vs " << c.b;
  }
}

TEST(FileNameFromHeaders, Table) {
  struct Case {
    std::vector<std::string> lines;
    std::string name;
  } cases[] = {
      {{"HTTP/1.1 200 OK", "Content-Disposition: attachment; filename=\"Lumacut Setup.exe\"",
        "Content-Length: 5"},
       "Lumacut Setup.exe"},
      {{"Content-Disposition: attachment; filename=setup.exe"}, "setup.exe"},
      {{"X-A: filename=a.exe", "X-B: filename=b.exe"}, "a.exe"},
      {{"Content-Disposition: attachment; filename=\"\""}, ""},
      // The key is case-sensitive.
      {{"Content-Disposition: attachment; FILENAME=\"x.exe\""}, ""},
      {{"HTTP/1.1 200 OK", "Content-Length: 5"}, ""},
      {{}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileNameFromHeaders(c.lines), c.name) << (c.lines.empty() ? "" : c.lines.back());
  }
}

TEST(DerivedSetupName, Table) {
  struct Case {
    const wchar_t* own;
    const wchar_t* version;
    const wchar_t* name;
  } cases[] = {
      {L"VelmorPkg_x.exe", L"1.2.3.4", L"VelmorPkg_x_install_v1.2.3.4.exe"},
      {L"VelmorPkg_x.exe", L"", L"VelmorPkg_x_install.exe"},
      {L"Lumacut_install.exe", L"2.0", L"Lumacut_install_v2.0.exe"},
      {L"pre_install_post.exe", L"", L"pre_install_post.exe"},
      // Every occurrence of the extension text goes, not only the last.
      {L"a.exe.b.exe", L"", L"a.b_install.exe"},
      {L"noext", L"3", L"noext_install_v3.exe"},
      {L"", L"", L"VelmorPkg.exe"},
      {L"", L"1.2.3.4", L"VelmorPkg.exe"},
      {L".exe", L"1", L"VelmorPkg.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(DerivedSetupName(c.own, c.version), c.name) << c.own;
}

TEST(ChannelSetupName, Table) {
  struct Case {
    const char* version;
    const wchar_t* name;
  } cases[] = {
      {"1.96.0.1", L"install_tengxun0.exe"}, {"1.97.0.1", L"install_qihu3600.exe"},
      {"1.98.0.1", L"install_jinshan0.exe"}, {"1.99.0.1", L"install_huawei00.exe"},
      {"3.97.12.400", L"install_qihu3600.exe"},
      {"1.95.0.1", L""},  {"1.100.0.5", L""}, {"1.97.0", L""}, {"1.97.0.1.2", L""},
      {"97.1.0.1", L""},  {"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(ChannelSetupName(c.version), c.name) << c.version;
}

TEST(RedirectTarget, Table) {
  struct Case {
    std::vector<std::string> lines;
    uint16_t port;
    std::string target;
  } cases[] = {
      {{"HTTP/1.1 302 Found", "Location: /files/setup.exe"}, 80,
       "http://dl.example:80/files/setup.exe"},
      {{"HTTP/1.1 302 Found", "Location:/files/setup.exe"}, 8080,
       "http://dl.example:8080/files/setup.exe"},
      {{"HTTP/1.1 301 Moved", "Location:    http://other.example/x.exe"}, 80,
       "http://other.example/x.exe"},
      {{"HTTP/1.1 302 Found", "Location: files/setup.exe"}, 80, "files/setup.exe"},
      // The first line decides here (the worker's head reader takes the last).
      {{"Location: http://a/1", "Location: http://b/2"}, 80, "http://a/1"},
      {{"HTTP/1.1 302 Found", "location: http://a/1"}, 80, ""},
      {{"HTTP/1.1 302 Found", "X-Location: http://a/1"}, 80, ""},
      {{"HTTP/1.1 302 Found"}, 80, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RedirectTarget(c.lines, "dl.example", c.port), c.target) << c.lines.back();
  }
}

TEST(RangeRequestText, ByteExact) {
  EXPECT_EQ(RangeRequestText("dl.example", "/a/setup.exe?x=1", 500, 1000),
            "GET /a/setup.exe?x=1 HTTP/1.1\r\n"
            "Host:dl.example\r\n"
            "Accept:*/*\r\n"
            "Range:bytes=500-1000\r\n"
            "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
            "Connection:close\r\n"
            "\r\n");
  EXPECT_EQ(RangeRequestText("h", "/", 0, 12345678901LL),
            "GET / HTTP/1.1\r\nHost:h\r\nAccept:*/*\r\nRange:bytes=0-12345678901\r\n"
            "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\nConnection:close\r\n"
            "\r\n");
}

TEST(ContentRangeStart, Table) {
  struct Case {
    std::vector<std::string> lines;
    int64_t start;
  } cases[] = {
      {{"HTTP/1.1 206 Partial Content", "Content-Range: bytes 300000-999999/1000000"}, 300000},
      {{"content-range:bytes 0-9/10"}, 0},
      {{"CONTENT-RANGE:   bytes   5 - 9 / 10  "}, 5},
      {{"Content-Range: bytes 5-9/*"}, 5},
      {{"Content-Range: BYTES 7-9/10"}, 7},
      {{"Content-Range: bytes 9223372036854775806-9223372036854775806/9223372036854775807"},
       kMax64 - 1},
      {{"Content-Range: bytes 9223372036854775808-1/2"}, -1},
      {{"Content-Range: bytes 1-99999999999999999999/2"}, -1},
      {{"Content-Range: bytes 1-2/99999999999999999999"}, -1},
      {{"Content-Range: bytes */1000"}, -1},
      {{"Content-Range: bytes -5-9/10"}, -1},
      {{"Content-Range: bytes 5-/10"}, -1},
      {{"Content-Range: bytes 5-9"}, -1},
      {{"Content-Range: bytes 5-9/10 trailing"}, -1},
      {{"Content-Range: bytes5-9/10"}, -1},
      {{"Content-Range: items 5-9/10"}, -1},
      {{"Content-Range:"}, -1},
      {{"X-Content-Range: bytes 5-9/10"}, -1},
      {{"Content-Length: 10"}, -1},
      {{}, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContentRangeStart(c.lines), c.start) << (c.lines.empty() ? "" : c.lines.back());
  }
}

TEST(RangeReplyHead, EveryCutPointGivesTheSameBody) {
  const std::string reply = kPartialHead + kBody;
  for (size_t cut = 0; cut <= reply.size(); ++cut) {
    RangeReplyHead head(300000);
    const Fed fed = FeedCut(&head, reply, {cut});
    EXPECT_EQ(fed.outcome, Outcome::kBody) << cut;
    EXPECT_EQ(fed.body, kBody) << cut;
    EXPECT_EQ(head.status(), 206) << cut;
    EXPECT_EQ(head.skip(), 0) << cut;
  }
}

TEST(RangeReplyHead, EveryPairOfCutPointsGivesTheSameBody) {
  const std::string reply = kPartialHead + kBody;
  for (size_t first = 0; first <= reply.size(); ++first) {
    for (size_t second = first; second <= reply.size(); ++second) {
      RangeReplyHead head(300000);
      const Fed fed = FeedCut(&head, reply, {first, second});
      ASSERT_EQ(fed.outcome, Outcome::kBody) << first << " " << second;
      ASSERT_EQ(fed.body, kBody) << first << " " << second;
    }
  }
}

TEST(RangeReplyHead, ByteByByte) {
  const std::string reply = kPartialHead + kBody;
  RangeReplyHead head(300000);
  size_t i = 0;
  Outcome outcome = Outcome::kNeedMore;
  for (; i < reply.size() && outcome == Outcome::kNeedMore; ++i) {
    outcome = head.Feed(&reply[i], 1);
  }
  EXPECT_EQ(outcome, Outcome::kBody);
  // The last byte fed was the head's own last byte: the body starts with the next piece.
  EXPECT_EQ(i, kPartialHead.size());
  EXPECT_EQ(head.body_offset(), 1u);
}

TEST(RangeReplyHead, BlankLineSplitBetweenPieces) {
  const std::string head1 = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r";
  struct Case {
    std::vector<std::string> pieces;
    size_t offset;
  } cases[] = {
      {{head1, "\nBODY"}, 1},
      {{"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n", "\r\nBODY"}, 2},
      {{"HTTP/1.1 200 OK\r\nContent-Length: 4\r", "\n\r\nBODY"}, 3},
      {{"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n", "BODY"}, 38},
      {{"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r", "", "\n", "BODY"}, 1},
  };
  for (const auto& c : cases) {
    RangeReplyHead head(0);
    Outcome outcome = Outcome::kNeedMore;
    size_t i = 0;
    for (; i < c.pieces.size(); ++i) {
      outcome = head.Feed(c.pieces[i].data(), c.pieces[i].size());
      if (outcome != Outcome::kNeedMore) break;
    }
    ASSERT_EQ(outcome, Outcome::kBody) << c.offset;
    EXPECT_EQ(head.body_offset(), c.offset);
    EXPECT_EQ(c.pieces[i].substr(head.body_offset()) +
                  (i + 1 < c.pieces.size() ? c.pieces[i + 1] : std::string()),
              "BODY");
  }
}

TEST(RangeReplyHead, Classification) {
  struct Case {
    std::string reply;
    int64_t expected_start;
    Outcome outcome;
    int status;
    int64_t skip;
    std::string location;
    std::string body;
  } cases[] = {
      {kPartialHead + kBody, 300000, Outcome::kBody, 206, 0, "", kBody},
      {"HTTP/1.1 206 Partial Content\r\ncontent-range: bytes 0-3/4\r\n\r\nBODY", 0,
       Outcome::kBody, 206, 0, "", "BODY"},
      // The whole file instead of the range: its first bytes belong to the other range.
      {"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\nBODY", 300000, Outcome::kBody, 200,
       300000, "", "BODY"},
      {"HTTP/1.0 200 OK\r\n\r\n", 0, Outcome::kBody, 200, 0, "", ""},
      // Twelve characters are enough for a status line.
      {"\r\nHTTP/1.1 200\r\n\r\nBODY", 7, Outcome::kBody, 200, 7, "", "BODY"},
      {kPartialHead + kBody, 300001, Outcome::kFail, 206, 0, "", ""},
      {kPartialHead + kBody, 0, Outcome::kFail, 206, 0, "", ""},
      {"HTTP/1.1 206 Partial Content\r\nContent-Length: 4\r\n\r\nBODY", 0, Outcome::kFail, 206,
       0, "", ""},
      {"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes */10\r\n\r\n", 0, Outcome::kFail,
       206, 0, "", ""},
      {"HTTP/1.1 416 Range Not Satisfiable\r\nContent-Type: text/html\r\n\r\n"
       "<html><body>416</body></html>",
       300000, Outcome::kFail, 416, 0, "", ""},
      {"HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n\r\n<html>404</html>", 0,
       Outcome::kFail, 404, 0, "", ""},
      {"HTTP/1.1 503 Service Unavailable\r\n\r\n<html>busy</html>", 0, Outcome::kFail, 503, 0,
       "", ""},
      {"HTTP/1.1 204 No Content\r\n\r\n", 0, Outcome::kFail, 204, 0, "", ""},
      {"HTTP/1.1 100 Continue\r\n\r\n", 0, Outcome::kFail, 100, 0, "", ""},
      {"HTTP/1.1 302 Found\r\nLocation: http://a.example/1\r\nX: y\r\n"
       "Location:   http://b.example/2\r\n\r\n",
       0, Outcome::kRedirect, 302, 0, "http://b.example/2", ""},
      {"HTTP/1.1 301 Moved\r\nLocation:/files/setup.exe\r\n\r\n", 0, Outcome::kRedirect, 301, 0,
       "/files/setup.exe", ""},
      {"HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n", 0, Outcome::kFail, 302, 0, "", ""},
      {"HTTP/1.1 302 Found\r\nlocation: http://a.example/1\r\n\r\n", 0, Outcome::kFail, 302, 0,
       "", ""},
      {"HTTP/1.1 302 Found\r\nLocation:   \r\n\r\n", 0, Outcome::kFail, 302, 0, "", ""},
      // No usable status line.
      {"HTTP/1.1 20\r\n\r\nBODY", 0, Outcome::kFail, 0, 0, "", ""},
      {"HTTP/1.1 2x0 OK\r\n\r\nBODY", 0, Outcome::kFail, 0, 0, "", ""},
      {"\r\n\r\nBODY", 0, Outcome::kFail, 0, 0, "", ""},
      {"garbage\r\n\r\n", 0, Outcome::kFail, 0, 0, "", ""},
  };
  for (const auto& c : cases) {
    RangeReplyHead head(c.expected_start);
    const Fed fed = FeedWhole(&head, c.reply);
    EXPECT_EQ(NameOf(fed.outcome), std::string(NameOf(c.outcome))) << c.reply;
    EXPECT_EQ(head.status(), c.status) << c.reply;
    EXPECT_EQ(head.location(), c.location) << c.reply;
    if (c.outcome != Outcome::kBody) continue;
    EXPECT_EQ(head.skip(), c.skip) << c.reply;
    EXPECT_EQ(fed.body, c.body) << c.reply;
  }
}

TEST(RangeReplyHead, NegativeStartNeverMatchesAnAbsentRange) {
  RangeReplyHead partial(-1);
  EXPECT_EQ(FeedWhole(&partial, "HTTP/1.1 206 Partial Content\r\n\r\n").outcome, Outcome::kFail);
  RangeReplyHead whole(-1);
  EXPECT_EQ(FeedWhole(&whole, "HTTP/1.1 200 OK\r\n\r\n").outcome, Outcome::kFail);
}

TEST(RangeReplyHead, HeadLimit) {
  const std::string start = "HTTP/1.1 200 OK\r\nX-Pad: ";
  const auto headOfSize = [&](size_t size) {
    return start + std::string(size - start.size() - 4, 'a') + "\r\n\r\n";
  };

  RangeReplyHead exact(0);
  EXPECT_EQ(FeedWhole(&exact, headOfSize(RangeReplyHead::kMaxHead) + "B").outcome, Outcome::kBody);
  EXPECT_EQ(exact.body_offset(), RangeReplyHead::kMaxHead);

  RangeReplyHead over(0);
  EXPECT_EQ(FeedWhole(&over, headOfSize(RangeReplyHead::kMaxHead + 1) + "B").outcome,
            Outcome::kFail);

  // 17 KiB without a blank line, in 1 KiB receives: the outcome is final once the limit passes.
  const std::string chunk(1024, 'a');
  RangeReplyHead endless(0);
  Outcome outcome = endless.Feed(start.data(), start.size());
  size_t fed = start.size();
  while (outcome == Outcome::kNeedMore && fed < 17 * 1024) {
    outcome = endless.Feed(chunk.data(), chunk.size());
    fed += chunk.size();
  }
  EXPECT_EQ(outcome, Outcome::kFail);
  EXPECT_GT(fed, RangeReplyHead::kMaxHead);
  EXPECT_LE(fed, RangeReplyHead::kMaxHead + chunk.size());
  EXPECT_EQ(endless.Feed("\r\n\r\n", 4), Outcome::kFail);

  RangeReplyHead large(0);
  const std::string big = start + std::string(17 * 1024, 'a') + "\r\n\r\nBODY";
  EXPECT_EQ(FeedWhole(&large, big).outcome, Outcome::kFail);
}

TEST(RangeReplyHead, OutcomeStaysFinal) {
  RangeReplyHead head(300000);
  EXPECT_EQ(head.Feed(nullptr, 0), Outcome::kNeedMore);
  EXPECT_EQ(head.Feed(kPartialHead.data(), 0), Outcome::kNeedMore);
  const std::string reply = kPartialHead + kBody;
  ASSERT_EQ(head.Feed(reply.data(), reply.size()), Outcome::kBody);
  const size_t offset = head.body_offset();
  EXPECT_EQ(offset, kPartialHead.size());
  EXPECT_EQ(head.Feed("HTTP/1.1 404 Not Found\r\n\r\n", 26), Outcome::kBody);
  EXPECT_EQ(head.body_offset(), offset);
  EXPECT_EQ(head.status(), 206);

  RangeReplyHead redirect(0);
  const std::string moved = "HTTP/1.1 302 Found\r\nLocation: http://a/1\r\n\r\n";
  ASSERT_EQ(redirect.Feed(moved.data(), moved.size()), Outcome::kRedirect);
  EXPECT_EQ(redirect.Feed(kPartialHead.data(), kPartialHead.size()), Outcome::kRedirect);
  EXPECT_EQ(redirect.location(), "http://a/1");
}

TEST(SafeFileName, OnlyTheLastComponentAndNothingWindowsRefuses) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"Lumacut Setup.exe", "Lumacut Setup.exe"}, {"..\\..\\evil.exe", "evil.exe"},
      {"/etc/x.exe", "x.exe"},                     {"C:\\Windows\\x.exe", "x.exe"},
      {"C:x.exe", ""},                             {"..", ""},
      {"a/", ""},                                  {"a?.exe", ""},
      {"", ""},                                    {"\xe5\xae\x89\xe8\xa3\x85.exe", "\xe5\xae\x89\xe8\xa3\x85.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeFileName(c.in), c.out) << c.in;
}
