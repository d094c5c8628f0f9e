// What a real run of LumacutSetup.exe reports, as the telemetry host receives it.
#include <gtest/gtest.h>

#include "endpoints.h"
#include "platform/encoding.h"
#include "support/product_fixture.h"
#include "support/telemetry_fixture.h"

namespace {

std::wstring Installer() { return BuildTreeFolder() + L"LumacutSetup.exe"; }

class InstallerTelemetryTest : public testing::Test {
 protected:
  void SetUp() override {
    ClearTelemetrySpool();
    CreateProductFolder();
  }
  void TearDown() override { ClearTelemetrySpool(); }
};

// The five records of one run, in the order the run sends them.
void ExpectOneRun(const std::vector<Json::Value>& records, size_t at) {
  ASSERT_GE(records.size(), at + 5);
  const Json::Value& install = records[at];
  EXPECT_EQ(install["kind"].asInt(), 6);
  EXPECT_EQ(install["event"]["name"].asString(), "pSoftInstall");
  const Json::Value& p = install["event"]["properties"];
  EXPECT_EQ(p["bool"]["is_first_install"].asBool(), true);
  EXPECT_EQ(p["string"]["soft_package_name"].asString(), "LumacutSetup");
  EXPECT_TRUE(p["int"].isMember("download_time"));
  EXPECT_EQ(p["string"]["parent_app_name"].asString(), "telemetry_tests.exe");
  EXPECT_EQ(p["string"]["install_type"].asString(), WideToUtf8(L"安装器"));
  EXPECT_EQ(install["app_id"].asString(), "51730946");
  EXPECT_EQ(install["app_info"].asString(), "win_installer");
  EXPECT_EQ(install["mid"].asString().size(), 32u);

  const Json::Value& launch = records[at + 1];
  EXPECT_EQ(launch["kind"].asInt(), 1);
  EXPECT_EQ(launch["ints"][0][0].asInt(), 1);
  EXPECT_EQ(launch["ints"][0][1].asInt(), 1);
  EXPECT_EQ(launch["data"].size(), 0u) << "empty texts write no field";

  const Json::Value& start = records[at + 2];
  EXPECT_EQ(start["kind"].asInt(), 4);
  EXPECT_EQ(DataField(start, 51), "0001");
  EXPECT_EQ(DataField(start, 52), "0001");
  EXPECT_EQ(DataField(start, 53), "LumacutSetup");

  const Json::Value& quit = records[at + 3];
  EXPECT_EQ(quit["kind"].asInt(), 4);
  EXPECT_EQ(DataField(quit, 52), "0002");

  const Json::Value& softQuit = records[at + 4];
  EXPECT_EQ(softQuit["event"]["name"].asString(), "vSoftQuit");
  EXPECT_EQ(softQuit["event"]["properties"]["string"]["event_name"].asString(),
            WideToUtf8(L"软件退出"));
}

}  // namespace

// The backend is down, so both readers are retrying when the run ends: the process still ends
// promptly and its quit event still arrives.
TEST_F(InstallerTelemetryTest, OneRunDeliversStartAndQuitRecordsInOrder) {
  HttpSink sink(endpoints::kTelemetryPort);
  ASSERT_TRUE(sink.listening());
  const DWORD start = ::GetTickCount();
  ASSERT_EQ(RunProgram(Installer(), L"", 30000), 0);
  EXPECT_LT(::GetTickCount() - start, 4000u) << "a whole run, Wine's start-up included";
  ASSERT_TRUE(sink.WaitFor([](const auto& r) { return ReceivedRecords(r).size() >= 5; }, 15000));
  const auto records = ReceivedRecords(sink.requests());
  EXPECT_EQ(records.size(), 5u);
  ExpectOneRun(records, 0);
  EXPECT_EQ(sink.requests()[0].request_line, "POST /sa?project=production HTTP/1.1");
  EXPECT_EQ(SpooledSegments(), 0u);
}

// Records of a run whose host was down, or answered 500, wait on disk and arrive, first, with
// the next run's.
TEST_F(InstallerTelemetryTest, UndeliveredRecordsStaySpooledForTheNextRun) {
  for (int failing : {0, 500}) {
    ClearTelemetrySpool();
    {
      std::unique_ptr<HttpSink> down;
      if (failing) down = std::make_unique<HttpSink>(endpoints::kTelemetryPort, failing);
      ASSERT_EQ(RunProgram(Installer(), L"", 30000), 0);
    }
    EXPECT_GT(SpooledSegments(), 0u) << failing;

    HttpSink sink(endpoints::kTelemetryPort);
    ASSERT_EQ(RunProgram(Installer(), L"", 30000), 0);
    ASSERT_TRUE(sink.WaitFor([](const auto& r) { return ReceivedRecords(r).size() >= 10; }, 15000))
        << failing;
    const auto records = ReceivedRecords(sink.requests());
    EXPECT_EQ(records.size(), 10u);
    ExpectOneRun(records, 0);
    ExpectOneRun(records, 5);
    EXPECT_LE(records[4]["ts"].asInt64(), records[5]["ts"].asInt64());
  }
}
