// Command line and the endpoints file (the same JSON the build writes for the installer).
#pragma once

#include <string>
#include <vector>

struct Options {
  std::string endpoints;            // --endpoints FILE
  std::vector<std::string> listen;  // --listen IP:PORT[,IP:PORT...], repeatable
  std::string root;                 // --root DIR
  std::string scenario;             // --scenario FILE
  std::string log;                  // --log FILE
  std::string port_file;            // --port-file FILE
  bool help = false;
};

std::string UsageText();
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);

// One service of the simulated backend: where the installer is told to find it.
struct Endpoint {
  std::string role;      // api, fallback, cdn, telemetry, attribution, website, support
  std::string host;      // as configured (used in the URLs the simulator hands out)
  std::string port_key;  // the endpoints member holding the port, shared by api and fallback
  int port = 0;          // configured; 0 asks for a free port, filled in once bound
};

struct Endpoints {
  std::vector<Endpoint> services;
  // The service with this role, or null.
  const Endpoint* Find(const std::string& role) const;
};

bool LoadEndpoints(const std::string& path, Endpoints* endpoints, std::string* error);
