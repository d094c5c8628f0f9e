// The package and channel readers against loopback backends.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/shared_settings.h"
#include "info/info_replies.h"
#include "info/pkg_info.h"
#include "info/server_info.h"
#include "support/loopback_servers.h"

namespace {

using Clock = std::chrono::steady_clock;

// Polls state until it leaves 0 or ms pass; returns the last state seen.
template <typename Info>
int32_t WaitForState(Info& info, int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (info.GetState() == 0 && Clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return info.GetState();
}

ScriptedReply Json200(const std::string& json) { return Reply200(json); }

class ReadersTest : public testing::Test {
 protected:
  void SetUp() override {
    EnsureWinsock();
    CreateSharedSettings();
  }
  void TearDown() override { DeleteSharedSettings(); }
};

constexpr uint32_t kApiIp = 0x7F000002;       // 127.0.0.2
constexpr uint32_t kFallbackIp = 0x7F000003;  // 127.0.0.3

}  // namespace

TEST_F(ReadersTest, PackageReplyIsStoredAndTheRequestIsExact) {
  ScriptedHttpServer api(0, kApiIp);
  api.Add(Json200(R"({"code":"server.success","data":{"downloadUrl":"http://127.0.0.1:18081/Lumacut_setup.exe",)"
                  R"("versionCode":"2.1.0.7","size":"0","installationSize":734003200,"md5":"0123456789abcdef0123456789abcdef"}})"));
  auto info = MakePkgInfoForTest("127.0.0.2", "127.0.0.3", api.port());
  ASSERT_EQ(WaitForState(*info, 10000), 1);
  EXPECT_EQ(info->GetPackageSize(), kDefaultPackageSize);
  EXPECT_EQ(info->GetInstallationSize(), 734003200);
  EXPECT_STREQ(info->GetVersionCode(), "2.1.0.7");
  EXPECT_STREQ(info->GetMd5(), "0123456789abcdef0123456789abcdef");
  ASSERT_EQ(info->GetUrlCount(), 1);
  EXPECT_STREQ(info->GetUrl(0), "http://127.0.0.1:18081/Lumacut_setup.exe");
  EXPECT_EQ(info->GetUrl(1), nullptr);
  EXPECT_EQ(info->GetUrl(-1), nullptr);
  ASSERT_EQ(api.requests().size(), 1u);
  EXPECT_EQ(api.requests()[0],
            "GET /applicationService/installer/getAppVersion?appId=51730946&versionCode=0.9.0.1"
            "&packageSystemSupport=2 HTTP/1.1\r\nHost: 127.0.0.2\r\nConnection: close\r\n\r\n");
  info->Reset();
  EXPECT_EQ(info->GetVersionCode(), nullptr);
  EXPECT_EQ(info->GetUrlCount(), 0);
  EXPECT_EQ(info->GetPackageSize(), 0);
}

TEST_F(ReadersTest, PackageWithAnotherCodeFailsAtOnce) {
  ScriptedHttpServer api(0, kApiIp);
  api.Add(Json200(R"({"code":"server.busy","data":{"md5":"x"}})"));
  auto info = MakePkgInfoForTest("127.0.0.2", "127.0.0.3", api.port());
  EXPECT_EQ(WaitForState(*info, 10000), 2);
  EXPECT_EQ(info->GetMd5(), nullptr);
  EXPECT_EQ(info->GetInstallationSize(), kDefaultInstallationSize);
}

TEST_F(ReadersTest, FallbackAddressAnswersWhenTheApiHostIsDown) {
  ScriptedHttpServer fallback(0, kFallbackIp);
  fallback.Add(Json200(R"({"code":"server.success","data":{"versionCode":"3"}})"));
  // Nothing listens on the API address at that port.
  auto info = MakePkgInfoForTest("127.0.0.2", "127.0.0.3", fallback.port());
  EXPECT_EQ(WaitForState(*info, 10000), 1);
  EXPECT_STREQ(info->GetVersionCode(), "3");
  EXPECT_EQ(fallback.requests().size(), 1u) << "on the first round";
  EXPECT_NE(fallback.requests()[0].find("Host: 127.0.0.3\r\n"), std::string::npos);
}

TEST_F(ReadersTest, BothDownKeepsPendingWithDefaults) {
  ScriptedHttpServer unused;  // a port number with no server on the two addresses
  auto info = MakePkgInfoForTest("127.0.0.2", "127.0.0.3", unused.port());
  EXPECT_EQ(WaitForState(*info, 1500), 0);
  EXPECT_EQ(info->GetPackageSize(), kDefaultPackageSize);
  EXPECT_EQ(info->GetInstallationSize(), kDefaultInstallationSize);
  EXPECT_EQ(info->GetVersionCode(), nullptr);
  const auto start = Clock::now();
  info.reset();  // stops the retrying reader without waiting for it
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0);
}

TEST_F(ReadersTest, EmptyChannelAsksNothing) {
  ScriptedHttpServer api(0, kApiIp);
  SetChannelId("");
  auto info = MakeServerInfoForTest("127.0.0.2", api.port());
  EXPECT_EQ(WaitForState(*info, 5000), 1);
  EXPECT_STREQ(info->GetWelcomeUrl(), "");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(api.requests().empty());
}

TEST_F(ReadersTest, WelcomeInformationOfTheChannel) {
  const struct {
    const char* flag;
    bool expected;
  } cases[] = {{",\"tolmirOcpc\":true", true}, {",\"tolmirOcpc\":1", true},
               {",\"tolmirOcpc\":0", false}, {"", false}};
  SetChannelId("ab12cd");
  for (const auto& c : cases) {
    ScriptedHttpServer api(0, kApiIp);
    api.Add(Json200(std::string(R"({"code":"server.success","data":{"appId":"a1","appName":"Lumacut",)") +
                    R"("welcomeUrl":"http://127.0.0.1:18084/w?x=1","advertisingAccountName":"acct")" +
                    c.flag + "}}"));
    auto info = MakeServerInfoForTest("127.0.0.2", api.port());
    ASSERT_EQ(WaitForState(*info, 5000), 1) << c.flag;
    EXPECT_EQ(info->IsTolmirOcpc(), c.expected) << c.flag;
    EXPECT_STREQ(info->GetWelcomeUrl(), "http://127.0.0.1:18084/w?x=1");
    EXPECT_STREQ(info->GetAdvertisingAccount(), "acct");
    EXPECT_STREQ(info->GetAppId(), "a1");
    EXPECT_STREQ(info->GetAppName(), "Lumacut");
    ASSERT_EQ(api.requests().size(), 1u);
    EXPECT_EQ(api.requests()[0].substr(0, api.requests()[0].find("\r\n")),
              "GET /applicationService/channel/welcome?channel=ab12cd HTTP/1.1");
    info->ClearWelcomeUrl();
    EXPECT_STREQ(info->GetWelcomeUrl(), "");
  }
}

TEST_F(ReadersTest, WelcomeWithAnotherCodeIsDoneAndEmpty) {
  SetChannelId("ab12cd");
  ScriptedHttpServer api(0, kApiIp);
  api.Add(Json200(R"({"code":"server.fail","data":{"welcomeUrl":"http://x/"}})"));
  auto info = MakeServerInfoForTest("127.0.0.2", api.port());
  EXPECT_EQ(WaitForState(*info, 5000), 1);
  EXPECT_STREQ(info->GetWelcomeUrl(), "");
  EXPECT_FALSE(info->IsTolmirOcpc());
}

// Three attempts about 300 ms apart, then failure.
TEST_F(ReadersTest, UnreachableWelcomeFailsAfterThreeAttempts) {
  SetChannelId("ab12cd");
  ScriptedHttpServer api(0, kApiIp);
  for (int i = 0; i < 4; ++i) {
    ScriptedReply dropped;
    dropped.reset = true;
    api.Add(dropped);
  }
  const auto start = Clock::now();
  auto info = MakeServerInfoForTest("127.0.0.2", api.port());
  EXPECT_EQ(WaitForState(*info, 10000), 2);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_EQ(api.requests().size(), 3u);
  EXPECT_GT(seconds, 0.55);
  EXPECT_LT(seconds, 5.0);
}
