// The downloader end to end: download_driver.exe (the downloader without the pages) against the
// backend simulator, with byte-exact comparisons of what lands on disk.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "app/product.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/md5.h"
#include "platform/text.h"
#include "endpoints.h"
#include "support/backend_sim.h"
#include "support/http_sink.h"
#include "support/telemetry_fixture.h"
#include "support/product_fixture.h"
#include "support/temp_folder.h"

namespace {

constexpr size_t kSize = 3 * 1024 * 1024 + 12345;
const std::string kSetupName = "LumacutSetup_2.1.0.exe";

class DownloaderTest : public testing::Test {
 protected:
  void SetUp() override {
    RemoveProductFolder();
    CreateProductFolder();
    ClearSimRoot();
    bytes_ = TestBytes(kSize, 7);
    PutSimFile(AnsiToWide(kSetupName), bytes_);
    SetSimScenario("{}");
    ClearSimLog();
  }
  void TearDown() override {
    RemoveProductFolder();
    SetSimScenario("{}");
  }

  // Runs the driver; returns its report (state, file, url, seconds).
  std::map<std::string, std::string> Download(int starts = 1,
                                              const wchar_t* driver = L"download_driver.exe") {
    const std::wstring report = dir_.path() + L"report.txt";
    RemoveFile(report);
    const int64_t exitCode =
        RunProgram(SiblingExecutable(driver), std::to_wstring(starts) + L" \"" + report + L"\"", 120000);
    auto values = ReadKeyValues(report);
    values["exit"] = std::to_string(exitCode);
    values.emplace("state", "no report");
    return values;
  }

  // Requests of one method to the CDN, in order.
  static std::vector<Json::Value> Cdn(const char* method) {
    std::vector<Json::Value> out;
    for (const auto& line : SimLog()) {
      if (line["method"].asString() == method && line["path"].asString() != "" &&
          line["path"].asString().rfind("/applicationService", 0) != 0 &&
          line["path"].asString().rfind("/sa", 0) != 0) {
        out.push_back(line);
      }
    }
    return out;
  }

  // What the simulator served, for failure messages.
  static std::string ServedLog() {
    std::string text;
    for (const auto& line : SimLog()) {
      text += line["method"].asString() + " " + line["path"].asString() + " " +
              line["range"].asString() + " -> " + line["status"].asString() + " " +
              line["bytes"].asString() + " " + line["fault"].asString() + "\n";
    }
    return text;
  }

  void ExpectDownloadedIntact(const std::map<std::string, std::string>& report) {
    ASSERT_EQ(report.at("state"), "4") << "driver exit " << report.at("exit") << "\n"
                                       << ServedLog();
    EXPECT_TRUE(ReadFileBytes(Utf8ToWide(report.at("file"))) == bytes_) << "byte-exact";
  }

  TempFolder dir_;
  std::string bytes_;
};

}  // namespace

TEST_F(DownloaderTest, DownloadsTwoRangesVerifiesAndRecords) {
  const auto report = Download();
  ExpectDownloadedIntact(report);
  // No file name from the server: derived from the program's own name and the package version.
  EXPECT_EQ(report.at("file"),
            WideToUtf8(ProductFolder()) + "download_driver_install_v1.0.0.0.exe");
  // The requests byte for byte, as the simulator received them.
  const std::string agent = "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n";
  const auto heads = Cdn("HEAD");
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_EQ(heads[0]["head"].asString(), "HEAD /" + kSetupName +
                                             " HTTP/1.1\r\nHost:127.0.0.1\r\nAccept:*/*\r\n" +
                                             agent + "Connection:close\r\n\r\n");
  const auto gets = Cdn("GET");
  ASSERT_EQ(gets.size(), 2u);
  std::set<std::string> texts;
  for (const auto& g : gets) texts.insert(g["head"].asString());
  const size_t half = kSize / 2;
  const auto rangedGet = [&](size_t from, size_t to) {
    return "GET /" + kSetupName + " HTTP/1.1\r\nHost:127.0.0.1\r\nAccept:*/*\r\nRange:bytes=" +
           std::to_string(from) + "-" + std::to_string(to) + "\r\n" + agent +
           "Connection:close\r\n\r\n";
  };
  EXPECT_EQ(texts, (std::set<std::string>{rangedGet(0, half - 1), rangedGet(half, kSize - 1)}));
  EXPECT_EQ(RecordKey(L"md5"), AnsiToWide(Md5Hex(bytes_)));
  EXPECT_EQ(RecordKey(L"path"), Utf8ToWide(report.at("file")));
}

// Faults on the CDN: every download still ends byte-exact.
TEST_F(DownloaderTest, FaultsNeverCorruptTheFile) {
  const std::string path = "/" + kSetupName;
  const struct {
    const char* name;
    std::string rules;
  } cases[] = {
      {"dropped after 300000 body bytes",
       R"({"method":"GET","path":")" + path + R"(","requests":[1,2],"drop_after":300000})"},
      {"head split inside the blank line",
       R"({"method":"GET","path":")" + path + R"(","split_head":[30,1,1,1],"split_pause_ms":50})"},
      {"200 with the whole file", R"({"method":"GET","path":")" + path + R"(","ignore_range":true})"},
      {"503 with an HTML body", R"({"method":"GET","path":")" + path +
                                    R"(","requests":[1,2],"status":503,"body":"<html>busy</html>"})"},
      {"302 to another host", R"({"method":"GET","path":")" + path +
                                  R"(","listener":"127.0.0.1:18081","redirect":"http://127.0.0.2:18086)" +
                                  path + R"("})"},
  };
  for (const auto& c : cases) {
    RemoveProductFolder();
    CreateProductFolder();
    SetSimScenario(R"({"rules":[)" + c.rules + "]}");
    ClearSimLog();
    const auto report = Download();
    ExpectDownloadedIntact(report);
    EXPECT_GE(Cdn("GET").size(), 2u) << c.name;
  }
}

TEST_F(DownloaderTest, ResumesAfterADropWithoutGapOrOverlap) {
  SetSimScenario(R"({"rules":[{"method":"GET","path":"/)" + kSetupName +
                 R"(","requests":[1],"drop_after":300000}]})");
  ExpectDownloadedIntact(Download());
  bool resumed = false;
  for (const auto& g : Cdn("GET")) {
    const std::string range = g["headers"]["Range"].asString();
    if (range == "bytes=300000-" + std::to_string(kSize / 2 - 1) ||
        range == "bytes=" + std::to_string(kSize / 2 + 300000) + "-" + std::to_string(kSize - 1)) {
      resumed = true;
    }
  }
  EXPECT_TRUE(resumed);
}

TEST_F(DownloaderTest, Md5Rules) {
  // A wrong body the first time: the whole file again on the next start, then success.
  PutSimFile(L"corrupt.exe", TestBytes(kSize, 99));
  SetSimScenario(R"({"rules":[{"method":"GET","path":"/)" + kSetupName +
                 R"(","requests":[1,2],"serve":"corrupt.exe"}]})");
  ExpectDownloadedIntact(Download(2));
  EXPECT_EQ(Cdn("GET").size(), 4u);

  // Upper-case MD5 from the server never matches.
  SetSimScenario(R"({"app_version":{"data":{"md5":")" + ToUpperAscii(Md5Hex(bytes_)) + R"("}}})");
  const auto upper = Download(2);
  EXPECT_EQ(upper.at("state"), "5") << "driver exit " << upper.at("exit");

  // No MD5: accepted unchecked.
  SetSimScenario(R"({"app_version":{"omit":["md5"]}})");
  EXPECT_EQ(Download().at("state"), "4");
}

TEST_F(DownloaderTest, NamesFromTheServerOrTheChannel) {
  SetSimScenario(R"({"rules":[{"method":"HEAD","filename":"Lumacut Setup.exe"}]})");
  auto report = Download();
  ExpectDownloadedIntact(report);
  EXPECT_EQ(report.at("file"), WideToUtf8(ProductFolder()) + "Lumacut Setup.exe");

  // A name that tries to leave the product folder keeps only its last part.
  SetSimScenario(R"({"rules":[{"method":"HEAD","filename":"..\\..\\evil.exe"}]})");
  report = Download();
  ExpectDownloadedIntact(report);
  EXPECT_EQ(report.at("file"), WideToUtf8(ProductFolder()) + "evil.exe");

  SetSimScenario("{}");
  report = Download(1, L"download_driver_97.exe");
  ExpectDownloadedIntact(report);
  EXPECT_EQ(report.at("file"), WideToUtf8(ProductFolder()) + "install_qihu3600.exe");
}

// A recorded setup program of the server's version is used as it is: nothing is downloaded (the
// query's HEAD still runs first, since the reuse is decided on its result).
TEST_F(DownloaderTest, ReusesARecordedSetupProgramOfTheServersVersion) {
  const std::wstring recorded = ProductFolder() + L"kept.exe";
  ASSERT_TRUE(::CopyFileW(SiblingExecutable(L"launch_probe.exe").c_str(), recorded.c_str(), FALSE));
  const std::string md5 = Md5HexOfFile(recorded);
  const std::string ini = "[General]\r\nmd5=" + md5 + "\r\npath=" + WideToUtf8(recorded) + "\r\n";
  std::ofstream(InstallRecordPath().c_str(), std::ios::binary) << ini;
  SetSimScenario(R"({"app_version":{"data":{"versionCode":"1.2.3.4"}}})");
  HttpSink sink(endpoints::kTelemetryPort);
  const auto report = Download();
  EXPECT_EQ(report.at("state"), "4");
  EXPECT_EQ(Utf8ToWide(report.at("file")), recorded);
  EXPECT_EQ(Cdn("HEAD").size(), 1u);
  EXPECT_TRUE(Cdn("GET").empty());
  const bool reported = sink.WaitFor([](const auto& requests) {
    for (const auto& e : EventsNamed(ReceivedRecords(requests), "pSoftDownloadResult")) {
      const Json::Value& p = e["event"]["properties"];
      if (p["string"]["soft_download_status"].asString() == WideToUtf8(L"存在本地文件") &&
          p["int"]["download_time"].asInt() == -1) {
        return true;
      }
    }
    return false;
  }, 15000);
  EXPECT_TRUE(reported);
}

TEST_F(DownloaderTest, FirstUrlNotFoundOrNoPackageGiveTheDefaultUrl) {
  // The package's URL answers 404: an empty result, the download fails.
  SetSimScenario(R"({"rules":[{"method":"HEAD","status":404}]})");
  EXPECT_EQ(Download().at("state"), "5");

  // Package information failed: the default URL on the CDN is asked.
  PutSimFile(L"application\\soft_package\\pc\\51730946\\software\\32bit\\install.exe", bytes_);
  SetSimScenario(R"({"app_version":{"code":"server.busy"}})");
  ClearSimLog();
  const auto report = Download();
  ExpectDownloadedIntact(report);
  EXPECT_EQ(Cdn("HEAD").at(0)["path"].asString(),
            "/application/soft_package/pc/51730946/software/32bit/install.exe");
}

// Every attempt ends early: each worker gives up after its twenty attempts and reports it.
TEST_F(DownloaderTest, TwentyEarlyEndingsExhaustTheAttempts) {
  HttpSink sink(endpoints::kTelemetryPort);
  SetSimScenario(R"({"rules":[{"method":"GET","path":"/)" + kSetupName + R"(","drop_after":1000}]})");
  EXPECT_EQ(Download().at("state"), "5");
  EXPECT_GE(Cdn("GET").size(), 20u);
  const bool reported = sink.WaitFor([](const auto& requests) {
    for (const auto& e : EventsNamed(ReceivedRecords(requests), "vSoftDownloadError")) {
      if (e["event"]["properties"]["string"]["error_status"].asString() ==
          WideToUtf8(L"重试超过最大次数")) {
        return true;
      }
    }
    return false;
  }, 15000);
  EXPECT_TRUE(reported);
}

// A failed worker stops the download; the next start resumes each range where it stopped.
TEST_F(DownloaderTest, NextStartResumesFromTheWrittenOffsets) {
  // The first two GETs deliver 300000 bytes each, the next twenty end at once: both workers
  // fail with their first 300000 bytes written; the second start finds the rules used up.
  SetSimScenario(R"({"rules":[{"method":"GET","path":"/)" + kSetupName +
                 R"(","requests":[1,2],"drop_after":300000},{"method":"GET","path":"/)" + kSetupName +
                 R"(","from":3,"to":42,"drop_after":0}]})");
  ExpectDownloadedIntact(Download(2));
  std::set<std::string> resumed;
  for (const auto& g : Cdn("GET")) resumed.insert(g["headers"]["Range"].asString());
  EXPECT_EQ(resumed.count("bytes=300000-" + std::to_string(kSize / 2 - 1)), 1u);
  EXPECT_EQ(resumed.count("bytes=" + std::to_string(kSize / 2 + 300000) + "-" +
                          std::to_string(kSize - 1)), 1u);
}

TEST_F(DownloaderTest, StopDuringARequestEndsWithinTwoSeconds) {
  const std::wstring report = dir_.path() + L"report.txt";
  const auto releaseAfterStall = [&](const char* method) {
    SetSimScenario(std::string(R"({"rules":[{"method":")") + method + R"(","path":"/)" +
                   kSetupName + R"(","stall":true}]})");
    RemoveFile(report);
    ClearSimLog();
    RunProgram(SiblingExecutable(L"download_driver.exe"), L"1 \"" + report + L"\" 1500", 60000);
    return ReadKeyValues(report);
  };
  // A range request that never answers: the workers notice within their receive time-out.
  auto values = releaseAfterStall("GET");
  ASSERT_EQ(values.count("release_ms"), 1u);
  EXPECT_LT(std::stoi(values.at("release_ms")), 3000);
  EXPECT_EQ(values.at("progress"), "0");

  // A query that never answers: no size yet, so no progress; the query's own receive time-out
  // (3 s) bounds the wait.
  values = releaseAfterStall("HEAD");
  ASSERT_EQ(values.count("release_ms"), 1u);
  EXPECT_LT(std::stoi(values.at("release_ms")), 4000);
  EXPECT_EQ(values.at("progress"), "0");
  EXPECT_TRUE(Cdn("GET").empty());
}

TEST_F(DownloaderTest, QueryFollowsARedirectToAPath) {
  SetSimScenario(R"({"rules":[{"method":"HEAD","path":"/)" + kSetupName +
                 R"(","redirect":"/files/)" + kSetupName + R"("}]})");
  PutSimFile(L"files\\" + AnsiToWide(kSetupName), bytes_);
  const auto report = Download();
  ExpectDownloadedIntact(report);
  EXPECT_EQ(report.at("url"), "http://127.0.0.1:18081/files/" + kSetupName);
}

// A redirect chain is followed ten hops at most: a loop ends that URL's query with no answer.
TEST_F(DownloaderTest, RedirectLoopEndsTheQuery) {
  SetSimScenario(R"({"rules":[{"method":"HEAD","path":"/)" + kSetupName + R"(","redirect":"/)" +
                 kSetupName + R"("}]})");
  EXPECT_EQ(Download().at("state"), "5");
  size_t loopHeads = 0;
  for (const auto& h : Cdn("HEAD")) loopHeads += h["path"].asString() == "/" + kSetupName;
  EXPECT_EQ(loopHeads, 11u) << ServedLog();
  EXPECT_TRUE(Cdn("GET").empty());
}
