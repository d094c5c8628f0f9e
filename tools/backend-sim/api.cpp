#include "api.h"

#include <sstream>

#include "file_server.h"

namespace {

const char kJson[] = "application/json; charset=utf-8";
const char kSuccess[] = "server.success";

// "host:port" under which a service is announced: the configured host with the bound port, or
// failing an endpoint for it, the first listener with that role, or the one asked.
std::string Authority(const ApiContext& context, const std::string& role, const Listener& asked) {
  if (context.endpoints != nullptr) {
    if (const Endpoint* service = context.endpoints->Find(role)) {
      return service->host + ":" + std::to_string(service->port);
    }
  }
  if (context.listeners != nullptr) {
    for (const Listener& listener : *context.listeners) {
      if (listener.Has(role)) return listener.Address();
    }
  }
  return asked.Address();
}

// The default reply {"code": ..., "data": ...} with the section's changes applied.
std::string BuildReply(const ReplySection& section, Json::Value code, Json::Value data,
                       bool data_by_default, const Json::Value& extra_root) {
  if (section.has_raw) return section.raw;
  Json::Value root(Json::objectValue);
  root["code"] = section.has_code ? section.code : code;
  const bool with_data = data_by_default || section.has_data;
  if (section.has_data) {
    if (section.data.isObject() && data.isObject()) {
      for (const std::string& name : section.data.getMemberNames()) {
        data[name] = section.data[name];
      }
    } else {
      data = section.data;
    }
  }
  for (const std::string& name : section.omit) {
    if (data.isObject()) data.removeMember(name);
  }
  if (with_data) root["data"] = data;
  for (const std::string& name : extra_root.getMemberNames()) root[name] = extra_root[name];
  for (const std::string& name : section.omit_root) root.removeMember(name);
  return CompactJson(root);
}

bool IsRead(const Request& request) { return request.method == "GET" || request.method == "HEAD"; }

void MethodNotAllowed(const char* allowed, Reply* reply) {
  reply->SetText(405, "method not allowed\n", "text/plain; charset=utf-8");
  reply->SetHeader("Allow", allowed);
}

void AppVersion(const Scenario& scenario, ApiContext& context, const Listener& listener,
                Reply* reply, Json::Value* log) {
  PackageFacts facts;
  std::string error;
  Json::Value data(Json::objectValue);
  Json::Value extra(Json::objectValue);
  Json::Value code = kSuccess;
  if (context.package->Get(context.root, scenario.package_file, &facts, &error)) {
    data["downloadUrl"] =
        "http://" + Authority(context, "cdn", listener) + "/" + EncodeUrlPath(facts.relative);
    data["versionCode"] = "1.0.0.0";
    data["size"] = Json::Int64(facts.size);
    data["installationSize"] = Json::Int64(facts.size * 3);
    data["md5"] = facts.md5;
  } else {
    // Without a package only the scenario can make this a success.
    code = "server.error";
    data["versionCode"] = "1.0.0.0";
    extra["message"] = "backend-sim: " + error;
    (*log)["package_error"] = error;
  }
  reply->SetText(200, BuildReply(scenario.app_version, code, data, true, extra), kJson);
}

void Welcome(const Request& request, const Scenario& scenario, Reply* reply, Json::Value* log) {
  const auto params = ParseQuery(request.query);
  const std::string* value = QueryValue(params, "channel");
  const std::string channel = value != nullptr ? *value : std::string();
  (*log)["channel"] = channel;
  auto found = scenario.channels.find(channel);
  if (found == scenario.channels.end()) found = scenario.channels.find("*");
  const ReplySection section = found != scenario.channels.end() ? found->second : ReplySection();
  reply->SetText(200,
                 BuildReply(section, kSuccess, Json::Value(Json::objectValue), true,
                            Json::Value(Json::objectValue)),
                 kJson);
}

void InstallerConfig(const Scenario& scenario, ApiContext& context, const Listener& listener,
                     Reply* reply) {
  const std::string url = "http://" + Authority(context, "api", listener) + "/banner.gif";
  Json::Value data(Json::objectValue);
  // The installer reads data.ProductsShow.gif_url; the flat member is there for other readers.
  data["gif_url"] = url;
  data["ProductsShow"]["gif_url"] = url;
  reply->SetText(
      200,
      BuildReply(scenario.installer_config, kSuccess, data, true, Json::Value(Json::objectValue)),
      kJson);
}

void Attribution(const Request& request, const Scenario& scenario, Reply* reply, Json::Value* log) {
  if (request.method != "POST") return MethodNotAllowed("POST", reply);
  const std::string* type = request.Find("Content-Type");
  std::vector<std::pair<std::string, std::string>> fields;
  if (type == nullptr || !ParseMultipart(request.body, MultipartBoundary(*type), &fields)) {
    (*log)["body_error"] = "not a multipart/form-data body";
    reply->SetText(400, CompactJson(Json::Value("not a multipart/form-data body")), kJson);
    return;
  }
  Json::Value form(Json::objectValue);
  for (const auto& field : fields) form[field.first] = field.second;
  (*log)["form"] = form;
  reply->SetText(200,
                 BuildReply(scenario.attribution, kSuccess, Json::Value(Json::objectValue), false,
                            Json::Value(Json::objectValue)),
                 kJson);
}

void Telemetry(const Request& request, const Scenario& scenario, Reply* reply, Json::Value* log) {
  if (request.method != "POST") return MethodNotAllowed("POST", reply);
  Json::CharReaderBuilder builder;
  Json::Value root;
  std::string error;
  std::istringstream stream(request.body);
  if (!Json::parseFromStream(builder, stream, &root, &error) || !root.isObject() ||
      !root["records"].isArray()) {
    (*log)["body_error"] = "expected {\"records\": [...]}";
    (*log)["body"] = request.body.substr(0, 4096);
    reply->SetText(400, "{\"error\":\"expected {\\\"records\\\": [...]}\"}", kJson);
    return;
  }
  (*log)["records"] = root["records"];
  Json::Value answer(Json::objectValue);
  answer["received"] = root["records"].size();
  reply->SetText(scenario.telemetry_status,
                 scenario.telemetry_has_raw ? scenario.telemetry_raw : CompactJson(answer), kJson);
}

std::string EscapeHtml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string CompactJson(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, value);
}

Route RouteOf(const Request& request, const Listener& listener) {
  const std::string& path = request.path;
  if (listener.Has("api") || listener.Has("fallback")) {
    if (path == "/applicationService/installer/getAppVersion") return Route::kAppVersion;
    if (path == "/applicationService/channel/welcome") return Route::kWelcome;
    if (path == "/applicationService/app/installerConfig") return Route::kInstallerConfig;
    if (path == "/banner.gif") return Route::kBanner;
  }
  if (listener.Has("attribution") && path == "/v1/install/tolmir") return Route::kAttribution;
  if (listener.Has("telemetry") && path == "/sa") return Route::kTelemetry;
  if (listener.Has("cdn") || listener.Has("extra")) return Route::kFiles;
  if (listener.Has("website") || listener.Has("support")) return Route::kWebsite;
  return Route::kNotFound;
}

void AnswerBackend(Route route, const Request& request, const Listener& listener,
                   const Scenario& scenario, ApiContext& context, Reply* reply, Json::Value* log) {
  const bool read = IsRead(request);
  switch (route) {
    case Route::kAppVersion:
      if (!read) return MethodNotAllowed("GET, HEAD", reply);
      return AppVersion(scenario, context, listener, reply, log);
    case Route::kWelcome:
      if (!read) return MethodNotAllowed("GET, HEAD", reply);
      return Welcome(request, scenario, reply, log);
    case Route::kInstallerConfig:
      if (!read) return MethodNotAllowed("GET, HEAD", reply);
      return InstallerConfig(scenario, context, listener, reply);
    case Route::kBanner:
      if (!read) return MethodNotAllowed("GET, HEAD", reply);
      return reply->SetText(200, context.gif, "image/gif");
    case Route::kAttribution:
      return Attribution(request, scenario, reply, log);
    case Route::kTelemetry:
      return Telemetry(request, scenario, reply, log);
    case Route::kWebsite:
      if (!read) return MethodNotAllowed("GET, HEAD", reply);
      return reply->SetText(200,
                            "<!doctype html>\n<html><head><meta charset=\"utf-8\"><title>Welcome"
                            "</title></head><body><h1>Welcome</h1><p>" +
                                EscapeHtml(request.target) + "</p></body></html>\n",
                            "text/html; charset=utf-8");
    case Route::kFiles:
    case Route::kNotFound:
      break;
  }
  Json::Value answer(Json::objectValue);
  answer["code"] = "not.found";
  answer["path"] = request.path;
  reply->SetText(404, CompactJson(answer), kJson);
}
