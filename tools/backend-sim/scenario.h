// The scenario file: what the simulated backend answers and which faults it injects. The format
// is described in README.md. A Scenario is an immutable snapshot plus the per-rule request
// counters; ScenarioSource re-reads the file whenever it changes.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// How one backend reply is built: the default reply with these changes applied.
struct ReplySection {
  bool has_code = false;
  Json::Value code;  // replaces "code" (any JSON type)
  bool has_data = false;
  Json::Value data;  // object: members merged over the default data; anything else replaces it
  std::vector<std::string> omit;       // members removed from "data"
  std::vector<std::string> omit_root;  // members removed from the root ("code", "data")
  bool has_raw = false;
  std::string raw;  // the whole body, sent as is
};

// What happens to one request; the defaults change nothing.
struct Action {
  int rule = -1;               // index in "rules", -1 when no rule applies
  int64_t request_number = 0;  // 1-based count of the requests that matched that rule

  int status = 0;  // 0 keeps the handler's status
  std::string reason;
  bool keep_body = false;  // keep the handler's body even with a status of 300 or more
  std::vector<std::pair<std::string, Json::Value>> headers;  // text sets, null removes
  int64_t delay_ms = 0;
  bool stall = false;
  int64_t stall_ms = 0;  // 0 with stall: until the client closes
  int64_t drop_after = -1;
  std::vector<int64_t> split_head;  // sizes of the leading pieces of the reply head
  int64_t split_pause_ms = 200;
  bool ignore_range = false;
  bool chunked = false;
  int64_t chunk_size = 65536;
  bool has_body = false;
  std::string body;
  std::string content_type;
  bool has_raw = false;
  std::string raw;
  std::string redirect;
  int redirect_status = 302;
  bool has_filename = false;
  std::string filename;
  std::string serve;  // file (under the root) served instead of the requested path
  bool close = false;
  bool reset = false;
  int64_t rate = 0;  // body bytes per second, 0 unlimited
  int split_pieces = 0;

  // Short text naming what this action changes, e.g. "status=503 drop_after=100"; empty for none.
  std::string Describe() const;
};

class Scenario {
 public:
  // Defaults: no rules, every reply as generated.
  Scenario() = default;
  static std::shared_ptr<Scenario> Parse(const std::string& text, std::string* error);

  // Counts the request against every rule it matches and returns the action of the first of
  // those whose request selection includes its count.
  Action Match(const std::string& method, const std::string& path, const std::string& query,
               const std::vector<std::string>& roles, const std::string& listener) const;

  std::string package_file;  // relative to the root; empty: the first *.exe there
  ReplySection app_version;
  std::map<std::string, ReplySection> channels;  // "*" applies to channels not listed
  ReplySection installer_config;
  ReplySection attribution;
  int telemetry_status = 200;
  bool telemetry_has_raw = false;
  std::string telemetry_raw;

 private:
  struct Rule {
    std::string method;
    std::string path;
    std::string prefix;
    std::string query_contains;
    std::string role;
    std::string listener;
    std::vector<int64_t> requests;
    int64_t from = 0;
    int64_t to = 0;
    Action action;
  };
  std::vector<Rule> rules_;
  mutable std::mutex mutex_;
  mutable std::vector<int64_t> counts_;
};

// The scenario file, re-read on the first Get after its modification time, size or identity
// changed. A missing file means defaults; a file that does not parse leaves the previous
// scenario in force (and is tried again on the next Get).
class ScenarioSource {
 public:
  explicit ScenarioSource(std::string path);
  // The scenario in force; `error` receives the last load error (empty when the file loaded).
  std::shared_ptr<const Scenario> Get(std::string* error);

 private:
  std::string path_;
  std::mutex mutex_;
  std::string key_;
  std::string error_;
  std::shared_ptr<const Scenario> current_;
};
