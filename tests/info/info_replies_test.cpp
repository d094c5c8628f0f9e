#include "info/info_replies.h"

#include <gtest/gtest.h>

#include "support/error_of.h"


TEST(PackageReply, SizesAsTextOrNumberAndDefaults) {
  const PackageData p = ParsePackageReply(
      R"({"code":"server.success","data":{"downloadUrl":"http://cdn/x.exe","versionCode":"1.2.3.4",)"
      R"("size":"0","installationSize":123456789,"md5":"abc","other":[1]}})");
  EXPECT_EQ(p.package_size, kDefaultPackageSize);
  EXPECT_EQ(p.installation_size, 123456789);
  ASSERT_EQ(p.urls.size(), 1u);
  EXPECT_EQ(p.urls[0].url, "http://cdn/x.exe");
  EXPECT_EQ(p.version_code, "1.2.3.4");
  EXPECT_EQ(p.md5, "abc");

  const PackageData sparse = ParsePackageReply(R"({"code":"server.success","data":{"size":"12x","versionCode":null,"md5":7}})");
  EXPECT_EQ(sparse.package_size, 12);
  EXPECT_EQ(sparse.installation_size, kDefaultInstallationSize);
  EXPECT_TRUE(sparse.urls.empty());
  EXPECT_EQ(sparse.version_code, "");
  EXPECT_EQ(sparse.md5, "7");
}

TEST(PackageReply, Failures) {
  const struct {
    const char* body;
    const char* error;
  } cases[] = {
      {"", "parse decrypt data error"},
      {"not json", "parse decrypt data error"},
      {R"({"code":"server.success"})", "member not exist"},
      {R"({"data":{}})", "member not exist"},
      {R"({"code":"server.fail","data":{}})", "request error"},
      {R"({"code":200,"data":{}})", "request error"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { ParsePackageReply(c.body); }), c.error) << c.body;
  // An object where a text is expected, or a root that is not an object, fails the read too.
  EXPECT_NE(ErrorOf([] { ParsePackageReply(R"({"code":"server.success","data":{"md5":{}}})"); }), "");
  EXPECT_NE(ErrorOf([] { ParsePackageReply(R"([1,2])"); }), "");
}

TEST(PackageReply, UrlOrderIsStableLargestFirst) {
  std::vector<DownloadUrlEntry> urls = {{0, 1, "a"}, {0, 3, "b"}, {0, 1, "c"}, {0, 3, "d"}};
  OrderDownloadUrls(&urls);
  EXPECT_EQ(urls[0].url, "b");
  EXPECT_EQ(urls[1].url, "d");
  EXPECT_EQ(urls[2].url, "a");
  EXPECT_EQ(urls[3].url, "c");
}

TEST(WelcomeReply, FieldsAndAttributionFlag) {
  const struct {
    const char* flag;
    bool expected;
  } flags[] = {{"true", true}, {"1", true}, {"0", false}, {"false", false}, {"null", false}, {"2.5", true}};
  for (const auto& f : flags) {
    const WelcomeData w = ParseWelcomeReply(
        std::string(R"({"code":"server.success","data":{"appId":17,"appName":"Lumacut",)") +
        R"("welcomeUrl":"http://w/x?a=1","advertisingAccountName":"acct","tolmirOcpc":)" + f.flag + "}}");
    EXPECT_EQ(w.tolmir_ocpc, f.expected) << f.flag;
    EXPECT_EQ(w.app_id, "17");
    EXPECT_EQ(w.welcome_url, "http://w/x?a=1");
    EXPECT_EQ(w.advertising_account, "acct");
  }
  EXPECT_FALSE(ParseWelcomeReply(R"({"code":"server.success","data":{}})").tolmir_ocpc);
}

TEST(WelcomeReply, UnsuccessfulRepliesAreEmptyAndMalformedOnesFail) {
  for (const char* body : {R"({"code":"server.fail","data":{"welcomeUrl":"x"}})",
                           R"({"data":{"welcomeUrl":"x"}})", R"({"code":"server.success"})"}) {
    EXPECT_EQ(ParseWelcomeReply(body).welcome_url, "") << body;
  }
  EXPECT_EQ(ErrorOf([] { ParseWelcomeReply(""); }), "parse decrypt data error");
  EXPECT_NE(ErrorOf([] { ParseWelcomeReply(R"({"code":5,"data":{}})"); }), "");
  EXPECT_NE(ErrorOf([] { ParseWelcomeReply(R"({"code":"server.success","data":{"tolmirOcpc":"yes"}})"); }), "");
  EXPECT_NE(ErrorOf([] { ParseWelcomeReply(R"({"code":"server.success","data":{"appId":[1]}})"); }), "");
}
