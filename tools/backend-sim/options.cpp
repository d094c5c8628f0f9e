#include "options.h"

#include <json/json.h>

#include <fstream>

std::string UsageText() {
  return R"(usage: backend-sim [options]

Stands in for the installer's backend API, CDN, telemetry and attribution hosts on loopback
addresses (127.0.0.0/8 only). Stops cleanly on SIGTERM or SIGINT (exit status 0).

  --endpoints FILE   endpoints JSON (e.g. build/win64/endpoints.json): listens on every service
                     whose host is a 127.x address (or localhost): api_host:api_port,
                     fallback_ip:api_port, cdn, telemetry, attribution, website and support.
                     A port of 0 takes a free port (api and fallback then share it).
  --listen IP:PORT[,IP:PORT...]
                     extra listeners serving files like the CDN (e.g. a redirect target);
                     repeatable; port 0 takes a free port.
  --root DIR         folder served as the CDN; its setup program (the scenario's package_file,
                     else the first *.exe by name) is the package the API announces.
  --scenario FILE    scenario JSON (replies and faults, see README.md); re-read whenever it
                     changes; a missing file means defaults.
  --log FILE         appends one JSON line per request served (flushed per line).
  --port-file FILE   once listening, writes {"addresses":{role:"ip:port"},"ports":{role:port},
                     "listeners":[...],"pid":N} to FILE (atomically).
  --help             shows this text.

Exit status: 0 after a stop signal or --help, 1 when it cannot start, 2 on a usage error.
)";
}

namespace {

bool TakeValue(int argc, char** argv, int* i, std::string* value, std::string* error) {
  const std::string arg = argv[*i];
  if (*i + 1 >= argc) {
    *error = arg + " needs a value";
    return false;
  }
  *value = argv[++*i];
  return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string inline_value;
    bool has_inline = false;
    const size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      inline_value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      has_inline = true;
    }
    std::string* target = nullptr;
    std::string listen;
    if (arg == "--help" || arg == "-h") {
      options->help = true;
      continue;
    } else if (arg == "--endpoints") {
      target = &options->endpoints;
    } else if (arg == "--root") {
      target = &options->root;
    } else if (arg == "--scenario") {
      target = &options->scenario;
    } else if (arg == "--log") {
      target = &options->log;
    } else if (arg == "--port-file") {
      target = &options->port_file;
    } else if (arg == "--listen") {
      target = &listen;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
    if (has_inline) {
      *target = inline_value;
    } else if (!TakeValue(argc, argv, &i, target, error)) {
      return false;
    }
    if (target == &listen) {
      size_t start = 0;
      while (start <= listen.size()) {
        size_t end = listen.find(',', start);
        if (end == std::string::npos) end = listen.size();
        if (end > start) options->listen.push_back(listen.substr(start, end - start));
        start = end + 1;
      }
    }
  }
  return true;
}

const Endpoint* Endpoints::Find(const std::string& role) const {
  for (const Endpoint& service : services) {
    if (service.role == role) return &service;
  }
  return nullptr;
}

bool LoadEndpoints(const std::string& path, Endpoints* endpoints, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = path + ": cannot open";
    return false;
  }
  Json::CharReaderBuilder builder;
  Json::Value root;
  std::string parse_error;
  if (!Json::parseFromStream(builder, file, &root, &parse_error) || !root.isObject()) {
    *error = path + ": not a JSON object " + parse_error;
    return false;
  }
  struct Key {
    const char* role;
    const char* host;
    const char* port;
  };
  const Key keys[] = {{"api", "api_host", "api_port"},
                      {"fallback", "fallback_ip", "api_port"},
                      {"cdn", "cdn_host", "cdn_port"},
                      {"telemetry", "telemetry_host", "telemetry_port"},
                      {"attribution", "attribution_host", "attribution_port"},
                      {"website", "website_host", "website_port"},
                      {"support", "support_host", "support_port"}};
  for (const Key& key : keys) {
    const Json::Value& host = root[key.host];
    const Json::Value& port = root[key.port];
    if (host.isNull()) continue;  // that service is not configured
    if (!host.isString() || !port.isIntegral() || port.asInt() < 0 || port.asInt() > 65535) {
      *error = path + ": " + key.host + "/" + key.port + " must be a string and a port number";
      return false;
    }
    endpoints->services.push_back({key.role, host.asString(), key.port, port.asInt()});
  }
  return true;
}
