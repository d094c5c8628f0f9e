// One accepted connection: read one request, decide what the scenario makes of it, answer (or
// misbehave), write the log line, close. Runs on a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api.h"
#include "lifetime.h"
#include "listeners.h"
#include "options.h"
#include "package.h"
#include "request_log.h"
#include "scenario.h"

// State shared by all connections; lives until every connection thread has ended.
struct Server {
  explicit Server(const std::string& scenario_path) : scenario(scenario_path) {}

  std::string root;
  Endpoints endpoints;
  std::vector<Listener> listeners;
  ScenarioSource scenario;
  RequestLog log;
  PackageCache package;
  std::string gif;
  Lifetime lifetime;
  std::atomic<int64_t> sequence{0};
};

// Serves the connection and closes `fd`; `fd` must already be registered with the lifetime.
void ServeConnection(Server& server, const Listener& listener, int fd, const std::string& peer);
