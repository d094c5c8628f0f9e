#include "listeners.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

bool ParsePort(const std::string& text, int* port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > 65535) return false;
  *port = value;
  return true;
}

// Binds and listens; fills in the port when it was 0.
bool Bind(Listener* listener, std::string* error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(listener->port));
  if (inet_pton(AF_INET, listener->ip.c_str(), &address.sin_addr) != 1) {
    *error = listener->ip + ": not an IPv4 address";
    return false;
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(fd, 1024) != 0) {
    *error = "cannot listen on " + listener->Address() + ": " + std::strerror(errno);
    close(fd);
    return false;
  }
  socklen_t size = sizeof(address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  listener->port = ntohs(address.sin_port);
  listener->fd = fd;
  return true;
}

// Adds the role to the listener already on (ip, port), or binds a new one.
Listener* Place(std::vector<Listener>* listeners, const std::string& ip, int port,
                const std::string& role, std::string* error) {
  if (port != 0) {
    for (Listener& listener : *listeners) {
      if (listener.ip == ip && listener.port == port) {
        if (!listener.Has(role)) listener.roles.push_back(role);
        return &listener;
      }
    }
  }
  Listener listener;
  listener.ip = ip;
  listener.port = port;
  listener.roles.push_back(role);
  if (!Bind(&listener, error)) return nullptr;
  listeners->push_back(listener);
  return &listeners->back();
}

}  // namespace

bool Listener::Has(const std::string& role) const {
  return std::find(roles.begin(), roles.end(), role) != roles.end();
}

bool IsLoopbackIpv4(const std::string& ip) {
  in_addr address{};
  if (inet_pton(AF_INET, ip.c_str(), &address) != 1) return false;
  return (ntohl(address.s_addr) >> 24) == 127;
}

bool OpenListeners(Endpoints* endpoints, const std::vector<std::string>& extra,
                   std::vector<Listener>* listeners, std::string* error) {
  // Every address is checked before anything is bound.
  std::vector<std::pair<std::string, int>> extras;
  for (const std::string& item : extra) {
    const size_t colon = item.rfind(':');
    int port = 0;
    if (colon == std::string::npos || !ParsePort(item.substr(colon + 1), &port)) {
      *error = "--listen " + item + ": expected IP:PORT";
      return false;
    }
    const std::string ip = item.substr(0, colon);
    if (!IsLoopbackIpv4(ip)) {
      *error = "--listen " + item + ": refusing a non-loopback address (only 127.0.0.0/8)";
      return false;
    }
    extras.emplace_back(ip, port);
  }

  listeners->reserve(endpoints->services.size() + extras.size());
  std::map<std::string, int> assigned;  // port key -> port taken for a configured 0
  for (Endpoint& service : endpoints->services) {
    const std::string ip = service.host == "localhost" ? "127.0.0.1" : service.host;
    if (!IsLoopbackIpv4(ip)) {
      std::fprintf(stderr, "backend-sim: not listening for %s: %s is not a loopback address\n",
                   service.role.c_str(), service.host.c_str());
      continue;
    }
    int port = service.port;
    if (port == 0 && assigned.count(service.port_key) != 0) port = assigned[service.port_key];
    Listener* listener = Place(listeners, ip, port, service.role, error);
    if (listener == nullptr) {
      CloseListeners(listeners);
      return false;
    }
    if (service.port == 0 && assigned.count(service.port_key) == 0) {
      assigned[service.port_key] = listener->port;
    }
    service.port = listener->port;
  }
  for (const auto& item : extras) {
    if (Place(listeners, item.first, item.second, "extra", error) == nullptr) {
      CloseListeners(listeners);
      return false;
    }
  }
  if (listeners->empty()) {
    *error = "nothing to listen on (give --endpoints with loopback hosts, or --listen)";
    return false;
  }
  return true;
}

void CloseListeners(std::vector<Listener>* listeners) {
  for (Listener& listener : *listeners) {
    if (listener.fd >= 0) close(listener.fd);
    listener.fd = -1;
  }
}
