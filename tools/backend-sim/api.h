// The backend's own requests: package version, channel welcome data, installer configuration
// with its banner, the attribution report, the telemetry sink and the product web site. Which
// of them a listener answers follows from its roles.
#pragma once

#include <json/json.h>

#include <string>
#include <vector>

#include "http_parse.h"
#include "listeners.h"
#include "options.h"
#include "package.h"
#include "reply.h"
#include "scenario.h"

enum class Route {
  kAppVersion,
  kWelcome,
  kInstallerConfig,
  kBanner,
  kAttribution,
  kTelemetry,
  kWebsite,
  kFiles,
  kNotFound,
};

Route RouteOf(const Request& request, const Listener& listener);

struct ApiContext {
  const Endpoints* endpoints = nullptr;
  const std::vector<Listener>* listeners = nullptr;
  std::string root;
  PackageCache* package = nullptr;
  std::string gif;
};

// Fills `reply` for every route but kFiles. `log` (the request's log line) receives what the
// request carried: the attribution form, the telemetry records, or why the body was refused.
void AnswerBackend(Route route, const Request& request, const Listener& listener,
                   const Scenario& scenario, ApiContext& context, Reply* reply, Json::Value* log);

// Compact JSON text, UTF-8 kept as is.
std::string CompactJson(const Json::Value& value);
