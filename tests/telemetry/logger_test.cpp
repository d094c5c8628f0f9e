#include "telemetry/logger_server.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <thread>

#include "endpoints.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "support/product_fixture.h"
#include "support/telemetry_fixture.h"
#include "support/temp_folder.h"

namespace {

// Passes the real library through but hides one entry point.
class HidingLoader : public KivLoader {
 public:
  explicit HidingLoader(std::string hidden) : hidden_(std::move(hidden)) {}
  void* Find(HMODULE module, const char* name) const override {
    return hidden_ == name ? nullptr : KivLoader::Find(module, name);
  }

 private:
  std::string hidden_;
};

class LoggerTest : public testing::Test {
 protected:
  void SetUp() override { ClearTelemetrySpool(); }
  void TearDown() override { ClearTelemetrySpool(); }

  // Records received so far whose event carries test=<nonce_>.
  std::vector<Json::Value> Mine(HttpSink& sink, size_t expected) {
    std::vector<Json::Value> mine;
    sink.WaitFor([&](const auto& requests) {
      mine.clear();
      for (const auto& record : ReceivedRecords(requests)) {
        if (record["event"]["properties"]["string"]["test"].asString() == nonce_ ||
            DataField(record, 12) == nonce_ || DataField(record, 53) == nonce_) {
          mine.push_back(record);
        }
      }
      return mine.size() >= expected;
    }, 15000);
    return mine;
  }

  const std::string nonce_ = FormatInt64(UnixTime()) + "-" + FormatInt64(::GetCurrentProcessId());
};

}  // namespace

TEST_F(LoggerTest, StartsFromTheEmbeddedArchive) {
  CLoggerServer logger;
  EXPECT_EQ(logger.start_error(), "");
  EXPECT_EQ(logger.record_error(), "");
  EXPECT_TRUE(logger.started());
  EXPECT_EQ(logger.library_path(), GetCacheFolder() + L"Kiv\\Kiv.dll");
  EXPECT_EQ(logger.GetMid().size(), 32u);
  EXPECT_EQ(logger.GetMid(), logger.GetMid()) << "stable";
  EXPECT_EQ(logger.BuildHttpData(1, "payload"), "payload");
  EXPECT_EQ(logger.DecryptData(""), "");
  EXPECT_EQ(logger.Reserved("a", "b", 1, 2, 3), 0);
}

TEST_F(LoggerTest, FirstValueWinsAndPropertiesSurviveSending) {
  HttpSink sink(endpoints::kTelemetryPort);
  CLoggerServer logger;
  logger.ClearProperties();
  logger.AddStringProperty("test", nonce_.c_str());
  logger.AddIntProperty("n", 1);
  logger.AddIntProperty("n", 2);
  logger.AddBoolProperty("b", false);
  logger.AddBoolProperty("b", true);
  logger.AddStringProperty("s", "first");
  logger.AddStringProperty("s", "second");
  EXPECT_TRUE(logger.SendEvent("tFirstWins"));
  EXPECT_TRUE(logger.SendEvent("tAgain"));  // properties stay until cleared
  const auto mine = Mine(sink, 2);
  ASSERT_EQ(mine.size(), 2u);
  for (const auto& record : mine) {
    const Json::Value& p = record["event"]["properties"];
    EXPECT_EQ(p["int"]["n"].asInt(), 1);
    EXPECT_EQ(p["bool"]["b"].asBool(), false);
    EXPECT_EQ(p["string"]["s"].asString(), "first");
  }
  EXPECT_EQ(mine[0]["event"]["name"].asString(), "tFirstWins");
}

TEST_F(LoggerTest, EmptyTextsWriteNoFieldAndMissingFilesAreSkipped) {
  HttpSink sink(endpoints::kTelemetryPort);
  TempFolder dir;
  const std::wstring present = dir.WriteFile(L"present.log", "x");
  CLoggerServer logger;
  EXPECT_TRUE(logger.TrackClick("", "0002", nonce_));
  EXPECT_TRUE(logger.TrackReport(7, "", "b", nonce_, "",
                                 {WideToAnsi(present), WideToAnsi(dir.path() + L"missing.log"), "",
                                  WideToAnsi(dir.path())}));
  const auto mine = Mine(sink, 2);
  ASSERT_EQ(mine.size(), 2u);
  const Json::Value& click = mine[0];
  EXPECT_EQ(click["kind"].asInt(), 2);
  EXPECT_EQ(DataFieldCount(click, 10), 0u);
  EXPECT_EQ(DataField(click, 11), "0002");
  const Json::Value& report = mine[1];
  EXPECT_EQ(report["kind"].asInt(), 4);
  EXPECT_EQ(report["ints"][0][1].asInt(), 7);
  EXPECT_EQ(DataFieldCount(report, 51), 0u);
  EXPECT_EQ(DataFieldCount(report, 54), 0u);
  ASSERT_EQ(DataFieldCount(report, 55), 1u) << "only the existing file, not the folder";
  EXPECT_EQ(DataField(report, 55), WideToAnsi(present));
}

// Two events in one second differ in the counter digits; a stopped logger sends nothing and
// does not count.
TEST_F(LoggerTest, EventIdsCountOnlySentEvents) {
  HttpSink sink(endpoints::kTelemetryPort);
  CLoggerServer logger;
  logger.ClearProperties();
  logger.AddStringProperty("test", nonce_.c_str());
  ASSERT_TRUE(logger.SendEvent("tOne"));
  ASSERT_TRUE(logger.SendEvent("tTwo"));
  EXPECT_TRUE(logger.Stop());
  EXPECT_FALSE(logger.SendEvent("tStopped"));
  EXPECT_FALSE(logger.TrackClick("0001", "0001", nonce_));
  EXPECT_FALSE(logger.started());
  EXPECT_FALSE(logger.Restart());
  EXPECT_TRUE(logger.started());
  ASSERT_TRUE(logger.SendEvent("tThree"));
  const auto mine = Mine(sink, 3);
  ASSERT_EQ(mine.size(), 3u);
  const int64_t one = mine[0]["event"]["id"].asInt64();
  const int64_t two = mine[1]["event"]["id"].asInt64();
  const int64_t three = mine[2]["event"]["id"].asInt64();
  EXPECT_EQ(mine[2]["event"]["name"].asString(), "tThree");
  EXPECT_LT(one, 1000000000);
  EXPECT_EQ((two % 100), (one + 1) % 100);
  EXPECT_EQ((three % 100), (one + 2) % 100);
  EXPECT_NE(one, two);
}

TEST_F(LoggerTest, MissingRequiredEntryPointsLeaveASilentLogger) {
  const struct {
    const char* name;
    const char* message;
  } cases[] = {
      {"kivCreate", "Get kivCreate address failed"},
      {"kivSetApplyKey", "Get kivSetAppKey address failed"},
      {"kivSetAppInfo", "Get kivSetAppInfo address failed"},
      {"kivSetPubCertificate", "Get kivSetPubCertificate address failed"},
      {"kivSetPriCcertificate", "Get kivSetPriCcertificate address failed"},
      {"kivSetHostInfo", "Get kivSetHostInfo address failed"},
      {"kivSetSensorUrl", "Get kivSetSensorUrl failed"},
  };
  for (const auto& c : cases) {
    CLoggerServer logger(nullptr, std::make_unique<HidingLoader>(c.name));
    EXPECT_EQ(logger.start_error(), c.message);
    EXPECT_FALSE(logger.started());
    logger.ClearProperties();
    logger.AddIntProperty("x", 1);
    EXPECT_FALSE(logger.SendEvent("tSilent")) << c.name;
    EXPECT_FALSE(logger.TrackLaunch(1, "", "", ""));
    EXPECT_EQ(logger.GetMid(), "");
    EXPECT_FALSE(logger.OpenUrl("http://127.0.0.1/"));
    EXPECT_FALSE(logger.Restart());
    EXPECT_TRUE(logger.Stop());
  }
}

TEST_F(LoggerTest, MissingRecordEntryPointsStillAnswerGetMid) {
  const char* names[] = {"kivCLTCreate",
                         "kivCLTSensorWriteEvent",
                         "kivCLTSensorWriteIntProperties",
                         "kivCLTSensorWriteBoolProperties",
                         "kivCLTSensorWriteStringProperties",
                         "kivCLTWriteInt",
                         "kivCLTWriteData",
                         "kivCLTCommit",
                         "kivCLTFree"};
  for (const char* name : names) {
    CLoggerServer logger(nullptr, std::make_unique<HidingLoader>(name));
    EXPECT_EQ(logger.start_error(), "");
    EXPECT_EQ(logger.record_error(), std::string("Get ") + name + " address error");
    EXPECT_TRUE(logger.started());
    EXPECT_FALSE(logger.SendEvent("tNoRecords"));
    EXPECT_EQ(logger.GetMid().size(), 32u) << name;
  }
}

// Events built on two threads at once keep their own properties: each record carries exactly
// the keys and values of the thread that sent it.
TEST_F(LoggerTest, ConcurrentEventsNeverMixProperties) {
  HttpSink sink(endpoints::kTelemetryPort);
  CLoggerServer logger;
  constexpr int kEvents = 150;
  auto worker = [&](int thread) {
    const std::string key = "only_" + std::to_string(thread);
    for (int i = 0; i < kEvents; ++i) {
      logger.ClearProperties();
      logger.AddStringProperty("test", nonce_.c_str());
      logger.AddIntProperty("thread", thread);
      logger.AddIntProperty("seq", i);
      logger.AddStringProperty(key.c_str(), "yes");
      logger.AddBoolProperty("odd", (i % 2) == 1);
      logger.SendEvent("tStress");
    }
  };
  std::thread a(worker, 1), b(worker, 2);
  a.join();
  b.join();
  const auto mine = Mine(sink, 2 * kEvents);
  ASSERT_EQ(mine.size(), static_cast<size_t>(2 * kEvents));
  std::set<std::pair<int, int>> seen;
  for (const auto& record : mine) {
    const Json::Value& p = record["event"]["properties"];
    const int thread = p["int"]["thread"].asInt();
    const int seq = p["int"]["seq"].asInt();
    ASSERT_EQ(p["int"].size(), 2u);
    ASSERT_EQ(p["string"].size(), 2u);
    ASSERT_TRUE(p["string"].isMember("only_" + std::to_string(thread)));
    ASSERT_EQ(p["bool"]["odd"].asBool(), (seq % 2) == 1);
    seen.emplace(thread, seq);
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(2 * kEvents));
}

// A program that crashes after starting its logger reports the dump, then dump and quit events.
TEST_F(LoggerTest, CrashReportsDumpAndQuit) {
  HttpSink sink(endpoints::kTelemetryPort);
  EXPECT_NE(RunProgram(SiblingExecutable(L"crash_probe.exe"), L"", 30000), 0);
  std::vector<Json::Value> records;
  ASSERT_TRUE(sink.WaitFor([&](const auto& r) {
    records = ReceivedRecords(r);
    return !EventsNamed(records, "vSoftQuit").empty();
  }, 15000));
  ASSERT_GE(records.size(), 4u);
  const Json::Value& dumpReport = records[records.size() - 4];
  EXPECT_EQ(dumpReport["kind"].asInt(), 4);
  EXPECT_EQ(dumpReport["ints"][0][1].asInt(), 1);
  const std::string dump = DataField(dumpReport, 55);
  EXPECT_NE(dump.find("Kiv\\crash-"), std::string::npos) << dump;
  EXPECT_TRUE(FileExists(AnsiToWide(dump)));
  EXPECT_EQ(DataField(records[records.size() - 3], 52), "0002");
  EXPECT_EQ(records[records.size() - 2]["event"]["name"].asString(), "vSoftDump");
  const Json::Value& quit = records.back();
  EXPECT_EQ(quit["event"]["properties"]["string"]["event_name"].asString(),
            WideToUtf8(L"软件崩溃"));
  RemoveFile(AnsiToWide(dump));
}
