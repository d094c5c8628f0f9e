// Runs the real backend-sim program as a child on free loopback ports (port 0, read back from
// its port file) and talks to it with plain sockets. Every wait is bounded.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <json/json.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int64_t MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// --- Files ----------------------------------------------------------------------------------

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Written beside and renamed into place, as a test under Wine would, so a reader never sees a
// half-written file.
void WriteFile(const std::string& path, const std::string& content) {
  const std::string temporary = path + ".part";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << content;
  }
  ASSERT_EQ(0, std::rename(temporary.c_str(), path.c_str()));
}

// Deterministic file content: byte `offset` of every generated file.
uint8_t PatternByte(uint64_t offset) {
  uint64_t z = (offset >> 3) + 0x9e3779b97f4a7c15ULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  return static_cast<uint8_t>(z >> ((offset & 7) * 8));
}

std::string Pattern(uint64_t offset, size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(PatternByte(offset + i));
  return bytes;
}

void WritePatternFile(const std::string& path, uint64_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  const uint64_t block = 1 << 20;
  for (uint64_t at = 0; at < size; at += block) {
    const std::string bytes = Pattern(at, static_cast<size_t>(std::min(block, size - at)));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
}

std::string CommandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, got);
  pclose(pipe);
  return output;
}

Json::Value ParseJson(const std::string& text) {
  Json::CharReaderBuilder builder;
  Json::Value value;
  std::string error;
  std::istringstream stream(text);
  if (!Json::parseFromStream(builder, stream, &value, &error)) return Json::Value();
  return value;
}

// --- Sockets --------------------------------------------------------------------------------

int Connect(const std::string& ip, int port, int receive_timeout_ms = 10000) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
  timeval timeout{};
  timeout.tv_sec = receive_timeout_ms / 1000;
  timeout.tv_usec = (receive_timeout_ms % 1000) * 1000;
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool SendText(int fd, const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    const ssize_t sent = send(fd, text.data() + at, text.size() - at, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    at += static_cast<size_t>(sent);
  }
  return true;
}

// Reads until the peer closes (true) or the receive time-out / an error (false).
bool ReceiveAll(int fd, std::string* data) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
    if (got == 0) return true;
    if (got < 0) return false;
    data->append(buffer.data(), static_cast<size_t>(got));
  }
}

struct HttpReply {
  bool closed = false;  // the server closed the connection (rather than a time-out)
  std::string raw;
  int status = 0;
  std::map<std::string, std::string> headers;  // lower-case names
  std::string body;

  bool Has(const std::string& name) const { return headers.count(name) != 0; }
  std::string Header(const std::string& name) const {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
  }
};

HttpReply ParseReply(const std::string& raw, bool closed) {
  HttpReply reply;
  reply.raw = raw;
  reply.closed = closed;
  const size_t end = raw.find("\r\n\r\n");
  if (end == std::string::npos || raw.compare(0, 9, "HTTP/1.1 ") != 0) return reply;
  reply.status = std::atoi(raw.substr(9, 3).c_str());
  std::istringstream lines(raw.substr(0, end));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string value = line.substr(colon + 1);
    while (!value.empty() && value[0] == ' ') value.erase(0, 1);
    reply.headers[name] = value;
  }
  reply.body = raw.substr(end + 4);
  return reply;
}

HttpReply Exchange(const std::string& ip, int port, const std::string& request) {
  const int fd = Connect(ip, port);
  if (fd < 0) return HttpReply();
  std::string raw;
  bool closed = SendText(fd, request) && ReceiveAll(fd, &raw);
  close(fd);
  return ParseReply(raw, closed);
}

// A request as the installer writes them: compact header lines, Connection: close.
HttpReply Get(const std::string& ip, int port, const std::string& target,
              const std::string& extra_headers = "", const std::string& method = "GET") {
  return Exchange(ip, port,
                  method + " " + target + " HTTP/1.1\r\nHost:" + ip + "\r\nAccept:*/*\r\n" +
                      extra_headers + "Connection:close\r\n\r\n");
}

HttpReply Post(const std::string& ip, int port, const std::string& target,
               const std::string& content_type, const std::string& body) {
  return Exchange(ip, port,
                  "POST " + target + " HTTP/1.1\r\nHost: " + ip + "\r\nContent-Type: " +
                      content_type + "\r\nContent-Length: " + std::to_string(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
}

std::string Dechunk(const std::string& body, bool* ok) {
  std::string out;
  size_t at = 0;
  *ok = false;
  for (;;) {
    const size_t line_end = body.find("\r\n", at);
    if (line_end == std::string::npos) return out;
    const size_t size = std::strtoul(body.substr(at, line_end - at).c_str(), nullptr, 16);
    at = line_end + 2;
    if (size == 0) {
      *ok = body.compare(at, 2, "\r\n") == 0 && at + 2 == body.size();
      return out;
    }
    if (body.size() < at + size + 2) return out;
    out.append(body, at, size);
    at += size + 2;
  }
}

// --- GIF reading, to check that the banner really decodes ---------------------------------

std::vector<uint8_t> LzwDecode(const std::string& data, int min_size) {
  const int clear = 1 << min_size;
  const int end = clear + 1;
  std::vector<std::vector<uint8_t>> table;
  auto reset = [&] {
    table.clear();
    for (int i = 0; i < clear + 2; ++i) table.push_back({static_cast<uint8_t>(i)});
  };
  reset();
  int width = min_size + 1;
  size_t bit = 0;
  int previous = -1;
  std::vector<uint8_t> out;
  while (bit + static_cast<size_t>(width) <= data.size() * 8) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit) {
      code |= ((static_cast<uint8_t>(data[bit / 8]) >> (bit % 8)) & 1) << i;
    }
    if (code == clear) {
      reset();
      width = min_size + 1;
      previous = -1;
      continue;
    }
    if (code == end) return out;
    std::vector<uint8_t> entry;
    if (code < static_cast<int>(table.size())) {
      entry = table[code];
    } else if (code == static_cast<int>(table.size()) && previous >= 0) {
      entry = table[previous];
      entry.push_back(table[previous][0]);
    } else {
      return {};
    }
    out.insert(out.end(), entry.begin(), entry.end());
    if (previous >= 0 && table.size() < 4096) {
      std::vector<uint8_t> added = table[previous];
      added.push_back(entry[0]);
      table.push_back(added);
      if (table.size() == (1u << width) && width < 12) ++width;
    }
    previous = code;
  }
  return {};  // no end code
}

struct Gif {
  bool valid = false;
  int width = 0, height = 0;
  bool loops = false;
  std::vector<std::vector<uint8_t>> frames;
  std::vector<int> delays;
};

Gif ReadGif(const std::string& bytes) {
  Gif gif;
  auto byte = [&bytes](size_t at) {
    return at < bytes.size() ? static_cast<uint8_t>(bytes[at]) : 0;
  };
  if (bytes.compare(0, 6, "GIF89a") != 0) return gif;
  gif.width = byte(6) | byte(7) << 8;
  gif.height = byte(8) | byte(9) << 8;
  size_t at = 13;
  if (byte(10) & 0x80) at += 3u * (2u << (byte(10) & 7));
  auto sub_blocks = [&](std::string* out) {
    while (at < bytes.size()) {
      const size_t size = byte(at++);
      if (size == 0) return true;
      if (out != nullptr) out->append(bytes, at, size);
      at += size;
    }
    return false;
  };
  while (at < bytes.size()) {
    const uint8_t kind = byte(at++);
    if (kind == 0x3B) {
      gif.valid = !gif.frames.empty();
      return gif;
    }
    if (kind == 0x21) {
      const uint8_t label = byte(at++);
      std::string content;
      if (!sub_blocks(&content)) return gif;
      if (label == 0xFF && content.compare(0, 11, "NETSCAPE2.0") == 0) gif.loops = true;
      if (label == 0xF9 && content.size() == 4) {
        gif.delays.push_back(static_cast<uint8_t>(content[1]) | static_cast<uint8_t>(content[2])
                                                                    << 8);
      }
    } else if (kind == 0x2C) {
      const int w = byte(at + 4) | byte(at + 5) << 8;
      const int h = byte(at + 6) | byte(at + 7) << 8;
      const uint8_t flags = byte(at + 8);
      at += 9;
      if (flags & 0x80) at += 3u * (2u << (flags & 7));
      const int min_size = byte(at++);
      std::string data;
      if (!sub_blocks(&data)) return gif;
      const std::vector<uint8_t> pixels = LzwDecode(data, min_size);
      if (pixels.size() != static_cast<size_t>(w * h) || w != gif.width || h != gif.height)
        return gif;
      gif.frames.push_back(pixels);
    } else {
      return gif;
    }
  }
  return gif;
}

// --- The simulator under test ---------------------------------------------------------------

class BackendSim : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/backend-sim-test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    root_ = dir_ + "/root";
    ASSERT_EQ(0, mkdir(root_.c_str(), 0755));
    package_ = Pattern(1000, (1 << 20) + 4321);
    WriteFile(root_ + "/LumacutSetup.exe", package_);
    scenario_ = dir_ + "/scenario.json";
    log_ = dir_ + "/requests.jsonl";
  }

  void TearDown() override {
    if (pid_ > 0) EXPECT_EQ(0, Stop()) << ReadFile(dir_ + "/sim.out");
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Runs the program with `args` and waits for it to end (bounded); its exit status, or -1.
  int RunToEnd(const std::vector<std::string>& args) {
    const pid_t pid = Spawn(args);
    return pid > 0 ? WaitExit(pid, 10000) : -1;
  }

  // Starts the simulator with every service on a free port (the fallback address 127.0.0.2
  // shares the API port) plus `extra_args`, and waits for its port file.
  void Start(const std::vector<std::string>& extra_args = {}) {
    Json::Value endpoints(Json::objectValue);
    endpoints["api_host"] = "127.0.0.1";
    endpoints["api_port"] = 0;
    endpoints["fallback_ip"] = "127.0.0.2";
    endpoints["cdn_host"] = "127.0.0.1";
    endpoints["cdn_port"] = 0;
    endpoints["telemetry_host"] = "127.0.0.1";
    endpoints["telemetry_port"] = 0;
    endpoints["attribution_host"] = "127.0.0.1";
    endpoints["attribution_port"] = 0;
    endpoints["website_host"] = "127.0.0.1";
    endpoints["website_port"] = 0;
    WriteFile(dir_ + "/endpoints.json", endpoints.toStyledString());
    std::vector<std::string> args = {"--endpoints", dir_ + "/endpoints.json",
                                     "--root",      root_,
                                     "--scenario",  scenario_,
                                     "--log",       log_,
                                     "--port-file", dir_ + "/ports.json"};
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    pid_ = Spawn(args);
    ASSERT_GT(pid_, 0);
    const auto start = Clock::now();
    while (MillisecondsSince(start) < 15000) {
      ports_ = ParseJson(ReadFile(dir_ + "/ports.json"));
      if (ports_.isObject()) return;
      int status;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        FAIL() << "backend-sim ended at start: " << ReadFile(dir_ + "/sim.out");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    FAIL() << "no port file within 15 s";
  }

  // SIGTERM, then the exit status (-1 when it had to be killed).
  int Stop() {
    kill(pid_, SIGTERM);
    const int status = WaitExit(pid_, 10000);
    pid_ = -1;
    return status;
  }

  int Port(const std::string& role) { return ports_["ports"][role].asInt(); }

  std::vector<Json::Value> LogLines() {
    std::vector<Json::Value> lines;
    std::istringstream text(ReadFile(log_));
    std::string line;
    while (std::getline(text, line)) lines.push_back(ParseJson(line));
    return lines;
  }

  // Log lines once `count` of them satisfy `match` (a line is written after its reply is sent,
  // so it may trail the reply a little); fails after 5 s.
  std::vector<Json::Value> WaitForLog(size_t count,
                                      const std::function<bool(const Json::Value&)>& match) {
    const auto start = Clock::now();
    std::vector<Json::Value> found;
    do {
      found.clear();
      for (const Json::Value& line : LogLines()) {
        if (match(line)) found.push_back(line);
      }
      if (found.size() >= count) return found;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (MillisecondsSince(start) < 5000);
    ADD_FAILURE() << "expected " << count << " matching log lines, found " << found.size();
    return found;
  }

  static std::function<bool(const Json::Value&)> PathIs(const std::string& path) {
    return [path](const Json::Value& line) { return line["path"].asString() == path; };
  }

  void Scenario(const std::string& json) { WriteFile(scenario_, json); }

  HttpReply Api(const std::string& target) { return Get("127.0.0.1", Port("api"), target); }
  HttpReply Cdn(const std::string& target, const std::string& headers = "",
                const std::string& method = "GET") {
    return Get("127.0.0.1", Port("cdn"), target, headers, method);
  }

  std::string dir_, root_, scenario_, log_, package_;
  Json::Value ports_;
  pid_t pid_ = -1;

 private:
  pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string program = BACKEND_SIM_PATH;
    argv.push_back(&program[0]);
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string output = dir_ + "/sim.out";
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
  }

  static int WaitExit(pid_t pid, int64_t ms) {
    const auto start = Clock::now();
    int status = 0;
    while (MillisecondsSince(start) < ms) {
      if (waitpid(pid, &status, WNOHANG) == pid)
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
  }
};

const char kAppVersion[] =
    "/applicationService/installer/getAppVersion?appId=51730946&versionCode=0.9.0.1"
    "&packageSystemSupport=2";

// --- Command line ---------------------------------------------------------------------------

TEST_F(BackendSim, HelpDocumentsEveryOption) {
  EXPECT_EQ(0, RunToEnd({"--help"}));
  const std::string help = ReadFile(dir_ + "/sim.out");
  for (const char* option :
       {"--endpoints", "--listen", "--root", "--scenario", "--log", "--port-file"}) {
    EXPECT_NE(std::string::npos, help.find(option)) << option;
  }
  EXPECT_EQ(2, RunToEnd({"--no-such-option"}));
}

TEST_F(BackendSim, RefusesToListenOutsideLoopback) {
  EXPECT_EQ(1, RunToEnd({"--root", root_, "--listen", "10.1.2.3:0"}));
  EXPECT_EQ(1, RunToEnd({"--root", root_, "--listen", "0.0.0.0:0"}));
  EXPECT_EQ(1, RunToEnd({"--root", root_, "--listen", "127.0.0.1:0,192.168.1.1:0"}));
  EXPECT_NE(std::string::npos, ReadFile(dir_ + "/sim.out").find("non-loopback"));
  // An endpoints file naming another host leaves that service out instead.
  WriteFile(dir_ + "/remote.json",
            R"({"api_host":"127.0.0.1","api_port":0,"cdn_host":"192.0.2.7","cdn_port":0})");
  pid_ = -1;
  ASSERT_NO_FATAL_FAILURE(Start({"--endpoints", dir_ + "/remote.json"}));
  EXPECT_TRUE(ports_["ports"].isMember("api"));
  EXPECT_FALSE(ports_["ports"].isMember("cdn"));
  for (const Json::Value& listener : ports_["listeners"]) {
    EXPECT_EQ(0, listener["ip"].asString().rfind("127.", 0)) << listener;
  }
}

// --- Backend API ----------------------------------------------------------------------------

TEST_F(BackendSim, AnnouncesThePackageOnTheApiAndFallbackAddresses) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string md5 = CommandOutput("md5sum '" + root_ + "/LumacutSetup.exe'").substr(0, 32);
  for (const char* ip : {"127.0.0.1", "127.0.0.2"}) {
    const HttpReply reply = Get(ip, Port("api"), kAppVersion);
    ASSERT_EQ(200, reply.status) << ip;
    const Json::Value json = ParseJson(reply.body);
    EXPECT_EQ("server.success", json["code"].asString());
    const Json::Value& data = json["data"];
    EXPECT_EQ("http://127.0.0.1:" + std::to_string(Port("cdn")) + "/LumacutSetup.exe",
              data["downloadUrl"].asString());
    EXPECT_EQ("1.0.0.0", data["versionCode"].asString());
    EXPECT_EQ(static_cast<int64_t>(package_.size()), data["size"].asInt64());
    EXPECT_EQ(static_cast<int64_t>(package_.size()) * 3, data["installationSize"].asInt64());
    EXPECT_EQ(md5, data["md5"].asString());
  }
  const HttpReply download = Cdn("/LumacutSetup.exe");
  EXPECT_EQ(200, download.status);
  EXPECT_TRUE(download.body == package_);

  const auto lines = WaitForLog(2, PathIs(kAppVersion));
  EXPECT_EQ("127.0.0.1:" + std::to_string(Port("api")), lines[0]["listener"].asString());
  EXPECT_EQ("127.0.0.2:" + std::to_string(Port("api")), lines[1]["listener"].asString());
  EXPECT_EQ("GET", lines[0]["method"].asString());
  EXPECT_EQ("127.0.0.1", lines[0]["headers"]["Host"].asString());
  EXPECT_EQ(200, lines[0]["status"].asInt());
  EXPECT_GT(lines[0]["bytes"].asInt64(), 0);
  EXPECT_TRUE(lines[0]["fault"].isNull());
  EXPECT_FALSE(lines[0]["time"].asString().empty());
}

TEST_F(BackendSim, ScenarioChangesTakeEffectOnTheNextRequest) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Scenario(R"({"app_version": {"data": {"size": "0", "installationSize": 123456,
              "md5": "00000000000000000000000000000000", "versionCode": "2.3.4.5"},
              "omit": ["downloadUrl"]}})");
  Json::Value json = ParseJson(Api(kAppVersion).body);
  EXPECT_EQ("server.success", json["code"].asString());
  EXPECT_TRUE(json["data"]["size"].isString());
  EXPECT_EQ("0", json["data"]["size"].asString());
  EXPECT_TRUE(json["data"]["installationSize"].isIntegral());
  EXPECT_EQ(123456, json["data"]["installationSize"].asInt());
  EXPECT_EQ("00000000000000000000000000000000", json["data"]["md5"].asString());
  EXPECT_EQ("2.3.4.5", json["data"]["versionCode"].asString());
  EXPECT_FALSE(json["data"].isMember("downloadUrl"));

  Scenario(R"({"app_version": {"code": "server.busy"}})");
  EXPECT_EQ("server.busy", ParseJson(Api(kAppVersion).body)["code"].asString());

  Scenario(R"({"app_version": {"raw": "<html>not json"}})");
  EXPECT_EQ("<html>not json", Api(kAppVersion).body);

  // A file that does not parse leaves the last good scenario in force, and says so in the log.
  Scenario(R"({"app_version": {"raw": )");
  EXPECT_EQ("<html>not json", Api(kAppVersion).body);
  EXPECT_FALSE(LogLines().back()["scenario_error"].asString().empty());

  ASSERT_EQ(0, std::remove(scenario_.c_str()));
  EXPECT_EQ("server.success", ParseJson(Api(kAppVersion).body)["code"].asString());
}

TEST_F(BackendSim, AnswersChannelWelcomeDataPerChannel) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Scenario(R"({"channels": {
      "abc": {"data": {"appId": "51730946", "appName": "Lumacut", "welcomeUrl": "http://127.0.0.1:9/w",
                       "advertisingAccountName": "acct", "tolmirOcpc": 1}},
      "off": {"data": {"tolmirOcpc": false}},
      "bad": {"code": "server.error"}}})");
  Json::Value json = ParseJson(Api("/applicationService/channel/welcome?channel=abc").body);
  EXPECT_EQ("server.success", json["code"].asString());
  EXPECT_EQ("51730946", json["data"]["appId"].asString());
  EXPECT_EQ("Lumacut", json["data"]["appName"].asString());
  EXPECT_EQ("http://127.0.0.1:9/w", json["data"]["welcomeUrl"].asString());
  EXPECT_EQ("acct", json["data"]["advertisingAccountName"].asString());
  EXPECT_TRUE(json["data"]["tolmirOcpc"].isIntegral());
  EXPECT_EQ(1, json["data"]["tolmirOcpc"].asInt());

  json = ParseJson(Api("/applicationService/channel/welcome?channel=off").body);
  EXPECT_TRUE(json["data"]["tolmirOcpc"].isBool());

  json = ParseJson(Api("/applicationService/channel/welcome?channel=bad").body);
  EXPECT_EQ("server.error", json["code"].asString());

  json = ParseJson(Api("/applicationService/channel/welcome?channel=unknown").body);
  EXPECT_EQ("server.success", json["code"].asString());
  EXPECT_TRUE(json["data"].isObject());
  EXPECT_EQ(0u, json["data"].size());
}

TEST_F(BackendSim, InstallerConfigPointsAtAnAnimatedBanner) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const Json::Value json =
      ParseJson(Api("/applicationService/app/installerConfig?appId=51730946").body);
  EXPECT_EQ("server.success", json["code"].asString());
  const std::string url = json["data"]["ProductsShow"]["gif_url"].asString();
  EXPECT_EQ("http://127.0.0.1:" + std::to_string(Port("api")) + "/banner.gif", url);
  EXPECT_EQ(url, json["data"]["gif_url"].asString());

  const HttpReply banner = Api("/banner.gif");
  EXPECT_EQ(200, banner.status);
  EXPECT_EQ("image/gif", banner.Header("content-type"));
  const Gif gif = ReadGif(banner.body);
  ASSERT_TRUE(gif.valid);
  EXPECT_TRUE(gif.loops);
  EXPECT_GE(gif.frames.size(), 2u);
  EXPECT_LE(gif.frames.size(), 3u);
  EXPECT_EQ(gif.frames.size(), gif.delays.size());
  for (int delay : gif.delays) EXPECT_GT(delay, 0);
  EXPECT_NE(gif.frames[0], gif.frames[1]);
}

TEST_F(BackendSim, ParsesAndLogsTheAttributionForm) {
  ASSERT_NO_FATAL_FAILURE(Start());
  // The installer's layout: the declared boundary lacks the two dashes its delimiter lines add.
  const std::string declared = "---------------------------7da1f4c300560";
  std::string body;
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"app_id", "51730946"},
      {"app_version", "0.9.0.1"},
      {"product_name", "Lumacut 剪辑"},
      {"uid", "0123456789abcdef0123456789abcdef"},
      {"url_channel", "abc"}};
  for (const auto& field : fields) {
    body += "--" + declared + "\r\nContent-Disposition: form-data; name=\"" + field.first +
            "\"\r\n\r\n" + field.second + "\r\n";
  }
  body += "--" + declared + "--\r\n";
  const int port = Port("attribution");
  HttpReply reply = Post("127.0.0.1", port, "/v1/install/tolmir",
                         "multipart/form-data; boundary=" + declared, body);
  EXPECT_EQ(200, reply.status);
  EXPECT_EQ("server.success", ParseJson(reply.body)["code"].asString());
  const Json::Value line = WaitForLog(1, PathIs("/v1/install/tolmir"))[0];
  EXPECT_EQ("POST", line["method"].asString());
  for (const auto& field : fields) EXPECT_EQ(field.second, line["form"][field.first].asString());

  Scenario(R"({"attribution": {"code": "server.fail", "data": {"reason": "x"}}})");
  reply = Post("127.0.0.1", port, "/v1/install/tolmir", "multipart/form-data; boundary=" + declared,
               body);
  EXPECT_EQ("server.fail", ParseJson(reply.body)["code"].asString());
  EXPECT_EQ("x", ParseJson(reply.body)["data"]["reason"].asString());

  EXPECT_EQ(400, Post("127.0.0.1", port, "/v1/install/tolmir", "text/plain", "junk").status);
}

TEST_F(BackendSim, LogsTelemetryRecords) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const int port = Port("telemetry");
  const std::string records =
      R"({"records":[{"kind":6,"app_id":"51730946","mid":"m","ts":1,"ints":[[1,2]],"data":[],)"
      R"("event":{"name":"vSoftInstall","id":1,"properties":{"int":{},"bool":{},"string":{}}}},)"
      R"({"kind":1,"app_id":"51730946","mid":"m","ts":2,"ints":[],"data":[[3,{"base64":"AA=="}]]}]})";
  EXPECT_EQ(200,
            Post("127.0.0.1", port, "/sa?project=production", "application/json", records).status);
  const Json::Value line = WaitForLog(1, PathIs("/sa?project=production"))[0];
  EXPECT_EQ(ParseJson(records)["records"], line["records"]);

  Scenario(R"({"telemetry": {"status": 503}})");
  EXPECT_EQ(503,
            Post("127.0.0.1", port, "/sa?project=production", "application/json", records).status);
  EXPECT_EQ(400, Post("127.0.0.1", port, "/sa?project=production", "application/json", "{").status);
}

// --- CDN ------------------------------------------------------------------------------------

TEST_F(BackendSim, ServesFilesWithRangesLikeACdn) {
  WriteFile(root_ + "/with space.bin", "0123456789");
  WriteFile(dir_ + "/secret.txt", "secret");
  ASSERT_EQ(0, symlink((dir_ + "/secret.txt").c_str(), (root_ + "/link.txt").c_str()));
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string total = std::to_string(package_.size());

  HttpReply reply = Cdn("/LumacutSetup.exe", "", "HEAD");
  EXPECT_EQ(200, reply.status);
  EXPECT_EQ(total, reply.Header("content-length"));
  EXPECT_EQ("bytes", reply.Header("accept-ranges"));
  EXPECT_TRUE(reply.body.empty());

  reply = Cdn("/LumacutSetup.exe", "Range:bytes=100-199\r\n");
  EXPECT_EQ(206, reply.status);
  EXPECT_EQ("bytes 100-199/" + total, reply.Header("content-range"));
  EXPECT_EQ("100", reply.Header("content-length"));
  EXPECT_TRUE(reply.body == package_.substr(100, 100));

  reply = Cdn("/LumacutSetup.exe", "Range: bytes=1000000-\r\n");
  EXPECT_EQ(206, reply.status);
  EXPECT_TRUE(reply.body == package_.substr(1000000));

  reply = Cdn("/LumacutSetup.exe", "Range: bytes=1048000-99999999\r\n");
  EXPECT_EQ(206, reply.status);
  EXPECT_EQ("bytes 1048000-" + std::to_string(package_.size() - 1) + "/" + total,
            reply.Header("content-range"));
  EXPECT_TRUE(reply.body == package_.substr(1048000));

  reply = Cdn("/LumacutSetup.exe", "Range: bytes=-10\r\n");
  EXPECT_EQ(206, reply.status);
  EXPECT_TRUE(reply.body == package_.substr(package_.size() - 10));

  reply = Cdn("/LumacutSetup.exe", "Range: bytes=" + total + "-\r\n");
  EXPECT_EQ(416, reply.status);
  EXPECT_EQ("bytes */" + total, reply.Header("content-range"));

  EXPECT_EQ("0123456789", Cdn("/with%20space.bin").body);
  for (const char* escape :
       {"/../secret.txt", "/%2e%2e/secret.txt", "/x/../../secret.txt", "/..%2fsecret.txt",
        "/..\\secret.txt", "/link.txt", "/missing.exe", "/", "/%zz"}) {
    EXPECT_EQ(404, Cdn(escape).status) << escape;
  }

  Scenario(R"({"rules": [{"path": "/LumacutSetup.exe", "filename": "Lumacut Setup 1.0.exe"}]})");
  reply = Cdn("/LumacutSetup.exe", "", "HEAD");
  EXPECT_EQ("attachment; filename=\"Lumacut Setup 1.0.exe\"", reply.Header("content-disposition"));
}

TEST_F(BackendSim, RedirectsRelativelyAndToAnotherListener) {
  ASSERT_NO_FATAL_FAILURE(Start({"--listen", "127.0.0.3:0"}));
  const std::string other = "http://127.0.0.3:" + std::to_string(Port("extra"));
  Scenario(R"({"rules": [
      {"path": "/old.exe", "redirect": "/LumacutSetup.exe"},
      {"path": "/moved.exe", "redirect": ")" +
           other + R"(/LumacutSetup.exe", "redirect_status": 301},
      {"path": "/temporary.exe", "redirect": "/LumacutSetup.exe", "redirect_status": 307}]})");
  HttpReply reply = Cdn("/old.exe");
  EXPECT_EQ(302, reply.status);
  EXPECT_EQ("/LumacutSetup.exe", reply.Header("location"));
  EXPECT_EQ("0", reply.Header("content-length"));
  reply = Cdn("/moved.exe", "", "HEAD");
  EXPECT_EQ(301, reply.status);
  EXPECT_EQ(other + "/LumacutSetup.exe", reply.Header("location"));
  EXPECT_EQ(307, Cdn("/temporary.exe").status);
  reply = Get("127.0.0.3", Port("extra"), "/LumacutSetup.exe", "Range:bytes=5-9\r\n");
  EXPECT_EQ(206, reply.status);
  EXPECT_TRUE(reply.body == package_.substr(5, 5));
}

// --- Faults ---------------------------------------------------------------------------------

TEST_F(BackendSim, RulesSelectRequestsByTheirNumber) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Scenario(R"({"rules": [
      {"method": "GET", "path": "/LumacutSetup.exe", "requests": [1, 2], "status": 503, "body": "busy"},
      {"method": "GET", "path": "/LumacutSetup.exe", "from": 4, "to": 5, "status": 500},
      {"prefix": "/applicationService/", "requests": [2], "status": 502}]})");
  std::vector<int> statuses;
  for (int i = 0; i < 6; ++i) statuses.push_back(Cdn("/LumacutSetup.exe").status);
  EXPECT_EQ((std::vector<int>{503, 503, 200, 500, 500, 200}), statuses);
  EXPECT_EQ(200, Cdn("/LumacutSetup.exe", "", "HEAD").status);  // method GET only

  EXPECT_EQ(200, Api(kAppVersion).status);
  EXPECT_EQ(502, Api("/applicationService/channel/welcome?channel=x").status);
  EXPECT_EQ(200, Api(kAppVersion).status);

  const auto lines = WaitForLog(6, [](const Json::Value& line) {
    return line["path"].asString() == "/LumacutSetup.exe" && line["method"].asString() == "GET";
  });
  EXPECT_EQ(0, lines[0]["rule"].asInt());
  EXPECT_EQ(1, lines[0]["rule_request"].asInt());
  EXPECT_EQ("status=503 body", lines[1]["fault"].asString());
  EXPECT_EQ(1, lines[3]["rule"].asInt());
  EXPECT_EQ(4, lines[3]["rule_request"].asInt());
  EXPECT_TRUE(lines[2]["fault"].isNull());
}

TEST_F(BackendSim, FaultsShapeTheReply) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Scenario(R"({"rules": [
      {"path": "/drop", "serve": "LumacutSetup.exe", "drop_after": 300000},
      {"path": "/whole", "serve": "LumacutSetup.exe", "ignore_range": true},
      {"path": "/chunked", "serve": "LumacutSetup.exe", "chunked": true, "chunk_size": 100000},
      {"path": "/raw", "raw": "HTTP/1.1 200 OK\r\nX-Raw: 1\r\n\r\nraw body"},
      {"path": "/headers", "serve": "LumacutSetup.exe",
       "headers": {"X-Extra": "yes", "Content-Length": null, "Accept-Ranges": null}},
      {"path": "/error", "status": 500, "body": {"code": "server.error"}},
      {"path": "/close", "close": true}]})");

  HttpReply reply = Cdn("/drop", "Range:bytes=1000-\r\n");
  EXPECT_TRUE(reply.closed);
  EXPECT_EQ(206, reply.status);
  EXPECT_EQ(std::to_string(package_.size() - 1000), reply.Header("content-length"));
  EXPECT_EQ(300000u, reply.body.size());
  EXPECT_TRUE(reply.body == package_.substr(1000, 300000));

  reply = Cdn("/whole", "Range:bytes=1000-1999\r\n");
  EXPECT_EQ(200, reply.status);
  EXPECT_FALSE(reply.Has("content-range"));
  EXPECT_TRUE(reply.body == package_);

  reply = Cdn("/chunked");
  EXPECT_EQ("chunked", reply.Header("transfer-encoding"));
  EXPECT_FALSE(reply.Has("content-length"));
  bool complete = false;
  EXPECT_TRUE(Dechunk(reply.body, &complete) == package_);
  EXPECT_TRUE(complete);

  EXPECT_EQ("HTTP/1.1 200 OK\r\nX-Raw: 1\r\n\r\nraw body", Cdn("/raw").raw);

  reply = Cdn("/headers");
  EXPECT_EQ("yes", reply.Header("x-extra"));
  EXPECT_FALSE(reply.Has("content-length"));
  EXPECT_FALSE(reply.Has("accept-ranges"));
  EXPECT_TRUE(reply.body == package_);

  reply = Cdn("/error");
  EXPECT_EQ(500, reply.status);
  EXPECT_EQ("application/json", reply.Header("content-type"));
  EXPECT_EQ("server.error", ParseJson(reply.body)["code"].asString());

  reply = Cdn("/close");
  EXPECT_TRUE(reply.closed);
  EXPECT_TRUE(reply.raw.empty());

  const Json::Value drop = WaitForLog(1, PathIs("/drop"))[0];
  EXPECT_EQ(300000, drop["bytes"].asInt64());
  EXPECT_FALSE(drop["complete"].asBool());
  EXPECT_EQ("bytes=1000-", drop["range"].asString());
  EXPECT_EQ("serve drop_after=300000", drop["fault"].asString());
}

TEST_F(BackendSim, FaultsThatTakeTime) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Scenario(R"({"rules": [
      {"path": "/delay", "delay_ms": 300},
      {"path": "/stall", "stall_ms": 400},
      {"path": "/hang", "stall": true},
      {"path": "/split", "serve": "LumacutSetup.exe", "split_head": [20], "split_pause_ms": 300},
      {"path": "/slow", "serve": "LumacutSetup.exe", "rate": 2000000}]})");

  auto start = Clock::now();
  EXPECT_EQ(404, Cdn("/delay").status);
  EXPECT_GE(MillisecondsSince(start), 300);

  // Stalls: connection accepted, nothing sent, closed after the time given.
  start = Clock::now();
  HttpReply reply = Cdn("/stall");
  EXPECT_TRUE(reply.closed);
  EXPECT_TRUE(reply.raw.empty());
  EXPECT_GE(MillisecondsSince(start), 400);

  int fd = Connect("127.0.0.1", Port("cdn"), 500);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(SendText(fd, "GET /hang HTTP/1.1\r\nHost:x\r\n\r\n"));
  std::string raw;
  EXPECT_FALSE(ReceiveAll(fd, &raw));  // time-out: still open, nothing sent
  EXPECT_TRUE(raw.empty());
  close(fd);
  EXPECT_EQ(0, WaitForLog(1, PathIs("/hang"))[0]["status"].asInt());

  // The head arrives in two sends: the first 20 bytes alone, the rest 300 ms later.
  fd = Connect("127.0.0.1", Port("cdn"));
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(SendText(fd, "GET /split HTTP/1.1\r\nHost:x\r\nRange:bytes=0-9\r\n\r\n"));
  char first[256];
  const ssize_t got = recv(fd, first, sizeof(first), 0);
  start = Clock::now();
  EXPECT_EQ(20, got);
  raw.assign(first, static_cast<size_t>(std::max<ssize_t>(got, 0)));
  EXPECT_TRUE(ReceiveAll(fd, &raw));
  EXPECT_GE(MillisecondsSince(start), 200);
  close(fd);
  reply = ParseReply(raw, true);
  EXPECT_EQ(206, reply.status);
  EXPECT_TRUE(reply.body == package_.substr(0, 10));

  // 1 MiB at 2 MB/s takes about half a second.
  start = Clock::now();
  reply = Cdn("/slow");
  EXPECT_TRUE(reply.body == package_);
  EXPECT_GE(MillisecondsSince(start), 400);
}

// --- Load and lifetime ----------------------------------------------------------------------

TEST_F(BackendSim, FiftyConcurrentRangedDownloadsAreByteExact) {
  const uint64_t size = 64ull << 20;
  WritePatternFile(root_ + "/big.bin", size);
  ASSERT_NO_FATAL_FAILURE(Start());
  const int count = 50;
  // Unaligned slices that cover the file; each download also overlaps its neighbours.
  std::vector<uint64_t> bounds;
  for (int i = 0; i < count; ++i)
    bounds.push_back(size / count * i + static_cast<uint64_t>(i) * 4099);
  bounds.push_back(size);
  std::atomic<int> ready{0};
  std::atomic<int> exact{0};
  std::vector<std::string> failures(count);
  std::vector<std::thread> threads;
  const int port = Port("cdn");
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&, i] {
      const uint64_t first = i == 0 ? 0 : bounds[i] - 777;
      const uint64_t last = bounds[i + 1] - 1;
      const std::string range = i == count - 1
                                    ? "bytes=" + std::to_string(first) + "-"
                                    : "bytes=" + std::to_string(first) + "-" + std::to_string(last);
      ++ready;
      for (int spin = 0; ready.load() < count && spin < 5000; ++spin) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      const HttpReply reply = Get("127.0.0.1", port, "/big.bin", "Range:" + range + "\r\n");
      const std::string expected_range = "bytes " + std::to_string(first) + "-" +
                                         std::to_string(last) + "/" + std::to_string(size);
      if (reply.status != 206 || reply.Header("content-range") != expected_range) {
        failures[i] =
            "status " + std::to_string(reply.status) + " " + reply.Header("content-range");
      } else if (reply.body.size() != last - first + 1) {
        failures[i] = "length " + std::to_string(reply.body.size());
      } else if (reply.body != Pattern(first, reply.body.size())) {
        failures[i] = "content differs";
      } else {
        ++exact;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(count, exact.load());
  for (int i = 0; i < count; ++i) EXPECT_EQ("", failures[i]) << "download " << i;
}

TEST_F(BackendSim, StopsCleanlyWhileAConnectionIsStalled) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Scenario(R"({"rules": [{"path": "/hang", "stall": true}]})");
  const int fd = Connect("127.0.0.1", Port("cdn"), 10000);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(SendText(fd, "GET /hang HTTP/1.1\r\nHost:x\r\n\r\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto start = Clock::now();
  EXPECT_EQ(0, Stop());
  EXPECT_LT(MillisecondsSince(start), 5000);
  std::string raw;
  EXPECT_TRUE(ReceiveAll(fd, &raw));  // closed by the stop, not timed out
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
