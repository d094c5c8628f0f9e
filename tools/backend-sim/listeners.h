// The listening sockets: one per distinct (address, port), each carrying the roles of every
// service configured there. Only 127.0.0.0/8 addresses are ever bound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options.h"

struct Listener {
  std::string ip;
  int port = 0;
  std::vector<std::string> roles;
  int fd = -1;

  std::string Address() const { return ip + ":" + std::to_string(port); }
  bool Has(const std::string& role) const;
};

// True for a dotted IPv4 address inside 127.0.0.0/8.
bool IsLoopbackIpv4(const std::string& ip);

// Binds the endpoints whose host is loopback (others are skipped with a note on stderr) and
// the extra listeners (role "extra"; any that is not a loopback address refuses the start).
// Ports given as 0 are filled in, in `endpoints` too.
bool OpenListeners(Endpoints* endpoints, const std::vector<std::string>& extra,
                   std::vector<Listener>* listeners, std::string* error);

void CloseListeners(std::vector<Listener>* listeners);
