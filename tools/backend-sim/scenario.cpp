#include "scenario.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "http_parse.h"

namespace {

// Thrown while parsing; the message names the member at fault.
struct ScenarioError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw ScenarioError{where + ": " + what};
}

void CheckKeys(const Json::Value& object, const std::string& where,
               const std::set<std::string>& allowed) {
  if (!object.isObject()) Fail(where, "expected an object");
  for (const std::string& name : object.getMemberNames()) {
    if (allowed.count(name) == 0) Fail(where + "." + name, "unknown member");
  }
}

std::string Text(const Json::Value& object, const char* key, const std::string& where) {
  const Json::Value& value = object[key];
  if (!value.isString()) Fail(where + "." + key, "expected a string");
  return value.asString();
}

int64_t Integer(const Json::Value& object, const char* key, const std::string& where,
                int64_t minimum) {
  const Json::Value& value = object[key];
  if (!value.isIntegral() || value.isBool()) Fail(where + "." + key, "expected an integer");
  const int64_t result = value.asInt64();
  if (result < minimum) Fail(where + "." + key, "must be at least " + std::to_string(minimum));
  return result;
}

bool Flag(const Json::Value& object, const char* key, const std::string& where) {
  const Json::Value& value = object[key];
  if (!value.isBool()) Fail(where + "." + key, "expected true or false");
  return value.asBool();
}

std::vector<std::string> TextList(const Json::Value& object, const char* key,
                                  const std::string& where) {
  const Json::Value& value = object[key];
  if (!value.isArray()) Fail(where + "." + key, "expected an array of strings");
  std::vector<std::string> result;
  for (const Json::Value& item : value) {
    if (!item.isString()) Fail(where + "." + key, "expected an array of strings");
    result.push_back(item.asString());
  }
  return result;
}

std::string Compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, value);
}

ReplySection ParseSection(const Json::Value& object, const std::string& where) {
  CheckKeys(object, where, {"code", "data", "omit", "omit_root", "raw", "comment"});
  ReplySection section;
  if (object.isMember("code")) {
    section.has_code = true;
    section.code = object["code"];
  }
  if (object.isMember("data")) {
    section.has_data = true;
    section.data = object["data"];
  }
  if (object.isMember("omit")) section.omit = TextList(object, "omit", where);
  if (object.isMember("omit_root")) section.omit_root = TextList(object, "omit_root", where);
  if (object.isMember("raw")) {
    section.has_raw = true;
    section.raw = Text(object, "raw", where);
  }
  return section;
}

void ParseAction(const Json::Value& rule, const std::string& where, Action* action) {
  if (rule.isMember("status")) {
    action->status = static_cast<int>(Integer(rule, "status", where, 100));
    if (action->status > 999) Fail(where + ".status", "must have three digits");
  }
  if (rule.isMember("reason")) action->reason = Text(rule, "reason", where);
  if (rule.isMember("keep_body")) action->keep_body = Flag(rule, "keep_body", where);
  if (rule.isMember("headers")) {
    const Json::Value& headers = rule["headers"];
    if (!headers.isObject()) Fail(where + ".headers", "expected an object");
    for (const std::string& name : headers.getMemberNames()) {
      const Json::Value& value = headers[name];
      if (!value.isString() && !value.isNull()) {
        Fail(where + ".headers." + name, "expected a string, or null to remove the header");
      }
      action->headers.emplace_back(name, value);
    }
  }
  if (rule.isMember("delay_ms")) action->delay_ms = Integer(rule, "delay_ms", where, 0);
  if (rule.isMember("stall")) action->stall = Flag(rule, "stall", where);
  if (rule.isMember("stall_ms")) {
    action->stall_ms = Integer(rule, "stall_ms", where, 1);
    action->stall = true;
  }
  if (rule.isMember("drop_after")) action->drop_after = Integer(rule, "drop_after", where, 0);
  if (rule.isMember("split_head")) {
    const Json::Value& split = rule["split_head"];
    if (split.isArray()) {
      for (const Json::Value& size : split) {
        if (!size.isIntegral() || size.isBool() || size.asInt64() < 1) {
          Fail(where + ".split_head", "expected positive piece sizes");
        }
        action->split_head.push_back(size.asInt64());
      }
    } else {
      const int64_t pieces = Integer(rule, "split_head", where, 2);
      if (pieces > 64) Fail(where + ".split_head", "at most 64 pieces");
      action->split_pieces = static_cast<int>(pieces);
    }
  }
  if (rule.isMember("split_pause_ms")) {
    action->split_pause_ms = Integer(rule, "split_pause_ms", where, 0);
  }
  if (rule.isMember("ignore_range")) action->ignore_range = Flag(rule, "ignore_range", where);
  if (rule.isMember("chunked")) action->chunked = Flag(rule, "chunked", where);
  if (rule.isMember("chunk_size")) action->chunk_size = Integer(rule, "chunk_size", where, 1);
  if (rule.isMember("body")) {
    action->has_body = true;
    const Json::Value& body = rule["body"];
    if (body.isString()) {
      action->body = body.asString();
      action->content_type = "text/plain; charset=utf-8";
    } else {
      action->body = Compact(body);
      action->content_type = "application/json";
    }
  }
  if (rule.isMember("content_type")) action->content_type = Text(rule, "content_type", where);
  if (rule.isMember("raw")) {
    action->has_raw = true;
    action->raw = Text(rule, "raw", where);
  }
  if (rule.isMember("redirect")) action->redirect = Text(rule, "redirect", where);
  if (rule.isMember("redirect_status")) {
    action->redirect_status = static_cast<int>(Integer(rule, "redirect_status", where, 300));
    if (action->redirect_status > 399) Fail(where + ".redirect_status", "must be 3xx");
  }
  if (rule.isMember("filename")) {
    action->has_filename = true;
    action->filename = Text(rule, "filename", where);
  }
  if (rule.isMember("serve")) action->serve = Text(rule, "serve", where);
  if (rule.isMember("close")) action->close = Flag(rule, "close", where);
  if (rule.isMember("reset")) action->reset = Flag(rule, "reset", where);
  if (rule.isMember("rate")) action->rate = Integer(rule, "rate", where, 1);
}

}  // namespace

std::string Action::Describe() const {
  std::ostringstream out;
  auto add = [&out](const std::string& item) {
    if (out.tellp() > 0) out << ' ';
    out << item;
  };
  if (close) add("close");
  if (reset) add("reset");
  if (stall) add(stall_ms > 0 ? "stall_ms=" + std::to_string(stall_ms) : "stall");
  if (delay_ms > 0) add("delay_ms=" + std::to_string(delay_ms));
  if (has_raw) add("raw");
  if (!redirect.empty()) add("redirect=" + std::to_string(redirect_status));
  if (status != 0) add("status=" + std::to_string(status));
  if (!headers.empty()) add("headers");
  if (has_body) add("body");
  if (has_filename) add("filename");
  if (!serve.empty()) add("serve");
  if (ignore_range) add("ignore_range");
  if (chunked) add("chunked");
  if (!split_head.empty() || split_pieces > 0) add("split_head");
  if (drop_after >= 0) add("drop_after=" + std::to_string(drop_after));
  if (rate > 0) add("rate=" + std::to_string(rate));
  return out.str();
}

std::shared_ptr<Scenario> Scenario::Parse(const std::string& text, std::string* error) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  Json::Value root;
  std::string parse_error;
  std::istringstream stream(text);
  if (!Json::parseFromStream(builder, stream, &root, &parse_error)) {
    *error = "not JSON: " + parse_error;
    return nullptr;
  }
  auto scenario = std::make_shared<Scenario>();
  try {
    CheckKeys(root, "scenario",
              {"package_file", "app_version", "channels", "installer_config", "attribution",
               "telemetry", "rules", "comment"});
    if (root.isMember("package_file")) {
      scenario->package_file = Text(root, "package_file", "scenario");
    }
    if (root.isMember("app_version")) {
      scenario->app_version = ParseSection(root["app_version"], "app_version");
    }
    if (root.isMember("channels")) {
      const Json::Value& channels = root["channels"];
      if (!channels.isObject()) Fail("channels", "expected an object");
      for (const std::string& name : channels.getMemberNames()) {
        scenario->channels[name] = ParseSection(channels[name], "channels." + name);
      }
    }
    if (root.isMember("installer_config")) {
      scenario->installer_config = ParseSection(root["installer_config"], "installer_config");
    }
    if (root.isMember("attribution")) {
      scenario->attribution = ParseSection(root["attribution"], "attribution");
    }
    if (root.isMember("telemetry")) {
      const Json::Value& telemetry = root["telemetry"];
      CheckKeys(telemetry, "telemetry", {"status", "raw", "comment"});
      if (telemetry.isMember("status")) {
        scenario->telemetry_status =
            static_cast<int>(Integer(telemetry, "status", "telemetry", 100));
      }
      if (telemetry.isMember("raw")) {
        scenario->telemetry_has_raw = true;
        scenario->telemetry_raw = Text(telemetry, "raw", "telemetry");
      }
    }
    if (root.isMember("rules")) {
      const Json::Value& rules = root["rules"];
      if (!rules.isArray()) Fail("rules", "expected an array");
      for (Json::ArrayIndex i = 0; i < rules.size(); ++i) {
        const Json::Value& object = rules[i];
        const std::string where = "rules[" + std::to_string(i) + "]";
        CheckKeys(object, where,
                  {"comment",
                   "method",
                   "path",
                   "prefix",
                   "query_contains",
                   "role",
                   "listener",
                   "requests",
                   "from",
                   "to",
                   "status",
                   "reason",
                   "keep_body",
                   "headers",
                   "delay_ms",
                   "stall",
                   "stall_ms",
                   "drop_after",
                   "split_head",
                   "split_pause_ms",
                   "ignore_range",
                   "chunked",
                   "chunk_size",
                   "body",
                   "content_type",
                   "raw",
                   "redirect",
                   "redirect_status",
                   "filename",
                   "serve",
                   "close",
                   "reset",
                   "rate"});
        Rule rule;
        if (object.isMember("method")) rule.method = Text(object, "method", where);
        if (object.isMember("path")) rule.path = Text(object, "path", where);
        if (object.isMember("prefix")) rule.prefix = Text(object, "prefix", where);
        if (!rule.path.empty() && !rule.prefix.empty()) {
          Fail(where, "give either path or prefix, not both");
        }
        if (object.isMember("query_contains")) {
          rule.query_contains = Text(object, "query_contains", where);
        }
        if (object.isMember("role")) rule.role = Text(object, "role", where);
        if (object.isMember("listener")) rule.listener = Text(object, "listener", where);
        if (object.isMember("requests")) {
          const Json::Value& requests = object["requests"];
          if (!requests.isArray()) Fail(where + ".requests", "expected an array of numbers");
          for (const Json::Value& number : requests) {
            if (!number.isIntegral() || number.isBool() || number.asInt64() < 1) {
              Fail(where + ".requests", "expected request numbers from 1");
            }
            rule.requests.push_back(number.asInt64());
          }
        }
        if (object.isMember("from")) rule.from = Integer(object, "from", where, 1);
        if (object.isMember("to")) rule.to = Integer(object, "to", where, 1);
        ParseAction(object, where, &rule.action);
        rule.action.rule = static_cast<int>(i);
        scenario->rules_.push_back(std::move(rule));
      }
      scenario->counts_.assign(scenario->rules_.size(), 0);
    }
  } catch (const ScenarioError& failure) {
    *error = failure.message;
    return nullptr;
  }
  return scenario;
}

Action Scenario::Match(const std::string& method, const std::string& path, const std::string& query,
                       const std::vector<std::string>& roles, const std::string& listener) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Action chosen;
  bool found = false;
  for (size_t i = 0; i < rules_.size(); ++i) {
    const Rule& rule = rules_[i];
    if (!rule.method.empty() && !EqualsIgnoreCase(rule.method, method)) continue;
    if (!rule.path.empty() && rule.path != path) continue;
    if (!rule.prefix.empty() && path.compare(0, rule.prefix.size(), rule.prefix) != 0) continue;
    if (!rule.query_contains.empty() && query.find(rule.query_contains) == std::string::npos) {
      continue;
    }
    if (!rule.role.empty() && std::find(roles.begin(), roles.end(), rule.role) == roles.end()) {
      continue;
    }
    if (!rule.listener.empty() && rule.listener != listener) continue;
    const int64_t number = ++counts_[i];
    if (found) continue;
    bool selected = true;
    if (!rule.requests.empty()) {
      selected =
          std::find(rule.requests.begin(), rule.requests.end(), number) != rule.requests.end();
    }
    if (rule.from > 0 && number < rule.from) selected = false;
    if (rule.to > 0 && number > rule.to) selected = false;
    if (!selected) continue;
    chosen = rule.action;
    chosen.request_number = number;
    found = true;
  }
  return chosen;
}

ScenarioSource::ScenarioSource(std::string path)
    : path_(std::move(path)), current_(std::make_shared<Scenario>()) {}

std::shared_ptr<const Scenario> ScenarioSource::Get(std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (path_.empty()) {
    error->clear();
    return current_;
  }
  struct stat info;
  std::string key = "missing";
  if (stat(path_.c_str(), &info) == 0) {
    key = std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + "/" +
          std::to_string(info.st_size) + "/" + std::to_string(info.st_ino);
  }
  if (key != key_) {
    if (key == "missing") {
      current_ = std::make_shared<Scenario>();
      key_ = key;
      error_.clear();
    } else {
      std::ifstream file(path_, std::ios::binary);
      std::ostringstream text;
      text << file.rdbuf();
      std::string load_error;
      std::shared_ptr<Scenario> loaded = file ? Scenario::Parse(text.str(), &load_error) : nullptr;
      if (loaded) {
        current_ = loaded;
        key_ = key;
        error_.clear();
      } else {
        const std::string message =
            path_ + ": " + (load_error.empty() ? std::string("cannot read") : load_error);
        if (message != error_) {
          std::fprintf(stderr, "backend-sim: scenario not loaded (previous one stays): %s\n",
                       message.c_str());
        }
        error_ = message;
      }
    }
  }
  *error = error_;
  return current_;
}
