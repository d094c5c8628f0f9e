#include "info/info_replies.h"

#include <json/json.h>

#include <memory>
#include <stdexcept>

#include "platform/text.h"

namespace {

Json::Value ParseJson(const std::string& body) {
  Json::Value root;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  if (body.empty() ||
      !reader->parse(body.data(), body.data() + body.size(), &root, &errors)) {
    throw std::runtime_error("parse decrypt data error");
  }
  return root;
}

// A size member: its text parsed as a decimal; 0, unparsable or absent keeps the default.
int64_t SizeOf(const Json::Value& data, const char* name, int64_t fallback) {
  if (!data.isMember(name)) return fallback;
  const int64_t value = ParseInt64(data[name].asString());
  return value == 0 ? fallback : value;
}

}  // namespace

PackageData ParsePackageReply(const std::string& body) {
  const Json::Value root = ParseJson(body);
  if (!root.isMember("code") || !root.isMember("data")) throw std::runtime_error("member not exist");
  if (root["code"].asString() != "server.success") throw std::runtime_error("request error");
  const Json::Value& data = root["data"];
  PackageData package;
  if (data.isMember("downloadUrl")) package.urls.push_back({0, 0, data["downloadUrl"].asString()});
  if (data.isMember("versionCode")) package.version_code = data["versionCode"].asString();
  package.package_size = SizeOf(data, "size", kDefaultPackageSize);
  package.installation_size = SizeOf(data, "installationSize", kDefaultInstallationSize);
  if (data.isMember("md5")) package.md5 = data["md5"].asString();
  OrderDownloadUrls(&package.urls);
  return package;
}

void OrderDownloadUrls(std::vector<DownloadUrlEntry>* urls) {
  // Exchange sort over neighbours: stable, and the lists hold one entry in practice.
  for (size_t pass = 0; pass < urls->size(); ++pass) {
    for (size_t i = 0; i + 1 < urls->size(); ++i) {
      if ((*urls)[i].second < (*urls)[i + 1].second) std::swap((*urls)[i], (*urls)[i + 1]);
    }
  }
}

WelcomeData ParseWelcomeReply(const std::string& body) {
  const Json::Value root = ParseJson(body);
  WelcomeData welcome;
  if (!root.isMember("code") || root["code"].asString() != "server.success" ||
      !root.isMember("data")) {
    if (root.isMember("code") && !root["code"].isString()) throw std::runtime_error("code is not text");
    return welcome;
  }
  if (!root["code"].isString()) throw std::runtime_error("code is not text");
  const Json::Value& data = root["data"];
  if (data.isMember("appId")) welcome.app_id = data["appId"].asString();
  if (data.isMember("appName")) welcome.app_name = data["appName"].asString();
  if (data.isMember("welcomeUrl")) welcome.welcome_url = data["welcomeUrl"].asString();
  if (data.isMember("advertisingAccountName")) {
    welcome.advertising_account = data["advertisingAccountName"].asString();
  }
  if (data.isMember("tolmirOcpc")) {
    const Json::Value& flag = data["tolmirOcpc"];
    if (flag.isString() || flag.isObject() || flag.isArray()) {
      throw std::runtime_error("tolmirOcpc is not a flag");
    }
    welcome.tolmir_ocpc = flag.asBool();
  }
  return welcome;
}
