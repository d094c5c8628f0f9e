// backend-sim: the installer's backend, CDN, telemetry and attribution hosts on loopback, for
// tests, benchmarks and demos. Usage: see UsageText() in options.cpp or README.md.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "api.h"
#include "connection.h"
#include "gif.h"
#include "listeners.h"
#include "options.h"

namespace {

std::string RolesText(const Listener& listener) {
  std::string text;
  for (const std::string& role : listener.roles) text += (text.empty() ? "" : ", ") + role;
  return text;
}

bool WritePortFile(const std::string& path, const std::vector<Listener>& listeners,
                   std::string* error) {
  Json::Value root(Json::objectValue);
  root["pid"] = static_cast<int>(getpid());
  root["addresses"] = Json::Value(Json::objectValue);
  root["ports"] = Json::Value(Json::objectValue);
  root["listeners"] = Json::Value(Json::arrayValue);
  for (const Listener& listener : listeners) {
    Json::Value entry(Json::objectValue);
    entry["address"] = listener.Address();
    entry["ip"] = listener.ip;
    entry["port"] = listener.port;
    entry["roles"] = Json::Value(Json::arrayValue);
    for (const std::string& role : listener.roles) {
      entry["roles"].append(role);
      if (!root["addresses"].isMember(role)) {
        root["addresses"][role] = listener.Address();
        root["ports"][role] = listener.port;
      }
    }
    root["listeners"].append(entry);
  }
  const std::string temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << CompactJson(root) << "\n";
    if (!file.flush()) {
      *error = temporary + ": cannot write";
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

std::string PeerText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text));
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

void Accept(Server& server, const Listener& listener) {
  sockaddr_in address{};
  socklen_t size = sizeof(address);
  const int fd = accept4(listener.fd, reinterpret_cast<sockaddr*>(&address), &size, SOCK_CLOEXEC);
  if (fd < 0) return;  // the client gave up already, or descriptors ran out: nothing to serve
  if (!server.lifetime.Register(fd)) {
    close(fd);
    return;
  }
  const std::string peer = PeerText(address);
  try {
    std::thread([&server, &listener, fd, peer] {
      ServeConnection(server, listener, fd, peer);
    }).detach();
  } catch (const std::system_error&) {
    server.lifetime.Unregister(fd);
    close(fd);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "backend-sim: %s\n\n%s", error.c_str(), UsageText().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }

  // Every thread inherits the blocked stop signals, so only the signalfd below sees them.
  signal(SIGPIPE, SIG_IGN);
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  const int signal_fd = signalfd(-1, &stop_signals, SFD_CLOEXEC);
  if (signal_fd < 0) {
    std::fprintf(stderr, "backend-sim: signalfd: %s\n", std::strerror(errno));
    return 1;
  }

  Server server(options.scenario);
  server.root = options.root;
  server.gif = MakeBannerGif();
  if (!options.root.empty()) {
    struct stat info;
    if (stat(options.root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      std::fprintf(stderr, "backend-sim: --root %s is not a folder\n", options.root.c_str());
      return 1;
    }
  }
  if (!options.endpoints.empty() && !LoadEndpoints(options.endpoints, &server.endpoints, &error)) {
    std::fprintf(stderr, "backend-sim: %s\n", error.c_str());
    return 1;
  }
  if (!server.log.Open(options.log, &error)) {
    std::fprintf(stderr, "backend-sim: --log %s\n", error.c_str());
    return 1;
  }
  if (!OpenListeners(&server.endpoints, options.listen, &server.listeners, &error)) {
    std::fprintf(stderr, "backend-sim: %s\n", error.c_str());
    return 1;
  }
  for (const Listener& listener : server.listeners) {
    std::printf("backend-sim: listening on %s (%s)\n", listener.Address().c_str(),
                RolesText(listener).c_str());
  }
  if (!options.port_file.empty() && !WritePortFile(options.port_file, server.listeners, &error)) {
    std::fprintf(stderr, "backend-sim: --port-file %s\n", error.c_str());
    CloseListeners(&server.listeners);
    return 1;
  }
  std::printf("backend-sim: ready (root %s, scenario %s, log %s)\n",
              options.root.empty() ? "-" : options.root.c_str(),
              options.scenario.empty() ? "-" : options.scenario.c_str(),
              options.log.empty() ? "-" : options.log.c_str());
  std::fflush(stdout);

  std::vector<pollfd> watched;
  for (const Listener& listener : server.listeners) watched.push_back({listener.fd, POLLIN, 0});
  watched.push_back({signal_fd, POLLIN, 0});
  for (bool running = true; running;) {
    if (poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "backend-sim: poll: %s\n", std::strerror(errno));
      break;
    }
    for (size_t i = 0; i + 1 < watched.size(); ++i) {
      if (watched[i].revents & POLLIN) Accept(server, server.listeners[i]);
    }
    if (watched.back().revents & POLLIN) running = false;
  }

  CloseListeners(&server.listeners);
  const bool all_ended = server.lifetime.StopAll(5000);
  std::printf("backend-sim: stopped\n");
  std::fflush(stdout);
  if (!all_ended) {
    // A connection thread is still inside a system call and holds references to `server`;
    // leaving without destructors keeps it from touching freed memory.
    _exit(0);
  }
  close(signal_fd);
  return 0;
}
