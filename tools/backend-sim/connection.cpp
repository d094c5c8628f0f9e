#include "connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "file_server.h"
#include "http_parse.h"
#include "reply.h"

namespace {

using Clock = std::chrono::steady_clock;

const size_t kMaxHead = 64 * 1024;
const size_t kMaxBody = 64 * 1024 * 1024;
const int kReceiveTimeoutSeconds = 30;
const int kSendTimeoutSeconds = 60;

void SetTimeout(int fd, int option, int seconds) {
  timeval value{};
  value.tv_sec = seconds;
  setsockopt(fd, SOL_SOCKET, option, &value, sizeof(value));
}

// Receives more bytes; false on close, error or time-out (`error` says which).
bool ReceiveMore(int fd, std::string* buffer, std::string* error) {
  char chunk[16384];
  for (;;) {
    const ssize_t got = recv(fd, chunk, sizeof(chunk), 0);
    if (got > 0) {
      buffer->append(chunk, static_cast<size_t>(got));
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) {
      *error = "connection closed mid-request";
    } else {
      *error = errno == EAGAIN || errno == EWOULDBLOCK ? "timed out reading the request"
                                                       : std::strerror(errno);
    }
    return false;
  }
}

// Reads one request. 1: complete; 0: the client closed without sending anything; -1: bad
// request, `status` and `error` say why.
int ReadRequest(int fd, Request* request, int* status, std::string* error) {
  std::string buffer;
  size_t head_end;
  for (;;) {
    // Stray line ends before a request line are allowed.
    while (!buffer.empty() && (buffer[0] == '\r' || buffer[0] == '\n')) buffer.erase(0, 1);
    head_end = FindHeadEnd(buffer);
    if (head_end != std::string::npos) break;
    if (buffer.size() > kMaxHead) {
      *status = 431;
      *error = "request head too large";
      return -1;
    }
    const bool had_bytes = !buffer.empty();
    if (!ReceiveMore(fd, &buffer, error)) {
      if (!had_bytes) return 0;
      *status = 400;
      return -1;
    }
  }
  if (!ParseRequestHead(buffer.substr(0, head_end), request, error)) {
    *status = 400;
    return -1;
  }
  request->head = buffer.substr(0, head_end);
  std::string rest = buffer.substr(head_end);
  const std::string* expect = request->Find("Expect");
  if (expect != nullptr && EqualsIgnoreCase(Trim(*expect), "100-continue")) {
    static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
    send(fd, kContinue, sizeof(kContinue) - 1, MSG_NOSIGNAL);
  }
  const std::string* encoding = request->Find("Transfer-Encoding");
  std::string lowered;
  if (encoding != nullptr) {
    for (char c : *encoding)
      lowered += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (lowered.find("chunked") != std::string::npos) {
    for (;;) {
      size_t used = 0;
      const int result = DecodeChunked(rest, &request->body, &used);
      if (result == 1) return 1;
      if (result < 0) {
        *status = 400;
        *error = "malformed chunked body";
        return -1;
      }
      if (rest.size() > kMaxBody) {
        *status = 413;
        *error = "request body too large";
        return -1;
      }
      if (!ReceiveMore(fd, &rest, error)) {
        *status = 400;
        return -1;
      }
    }
  }
  const std::string* length_text = request->Find("Content-Length");
  if (length_text == nullptr) return 1;
  size_t length = 0;
  const std::string digits = Trim(*length_text);
  if (digits.empty() || digits.size() > 12 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    *status = 400;
    *error = "malformed Content-Length";
    return -1;
  }
  length = static_cast<size_t>(std::stoull(digits));
  if (length > kMaxBody) {
    *status = 413;
    *error = "request body too large";
    return -1;
  }
  while (rest.size() < length) {
    if (!ReceiveMore(fd, &rest, error)) {
      *status = 400;
      return -1;
    }
  }
  request->body = rest.substr(0, length);
  return 1;
}

// Holds the connection open without answering until the client closes it, `ms` passes (when
// above 0) or the simulator stops.
void Stall(int fd, int64_t ms, Lifetime& lifetime) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  char scratch[4096];
  while (!lifetime.Stopping()) {
    int wait = 100;
    if (ms > 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return;
      wait = static_cast<int>(std::min<int64_t>(left, 100));
    }
    pollfd entry{fd, POLLIN | POLLRDHUP, 0};
    const int ready = poll(&entry, 1, wait);
    if (ready > 0) {
      const ssize_t got = recv(fd, scratch, sizeof(scratch), MSG_DONTWAIT);
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        return;
      }
    }
  }
}

// Closes after the client had the chance to read everything: our side is shut for writing and
// what the client still sends is read until it closes, so the close never turns into a reset
// that would destroy data the client has not read yet.
void CloseGracefully(int fd, Lifetime& lifetime) {
  shutdown(fd, SHUT_WR);
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  char scratch[4096];
  while (!lifetime.Stopping() && Clock::now() < deadline) {
    pollfd entry{fd, POLLIN | POLLRDHUP, 0};
    if (poll(&entry, 1, 100) <= 0) continue;
    const ssize_t got = recv(fd, scratch, sizeof(scratch), MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) break;
  }
}

void Reset(int fd) {
  linger option{};
  option.l_onoff = 1;
  option.l_linger = 0;
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof(option));
}

Json::Value HeadersObject(const Request& request) {
  Json::Value headers(Json::objectValue);
  for (const Header& header : request.headers) {
    if (headers.isMember(header.name)) {
      headers[header.name] = headers[header.name].asString() + ", " + header.value;
    } else {
      headers[header.name] = header.value;
    }
  }
  return headers;
}

std::string StripSlashes(std::string path) {
  while (!path.empty() && path[0] == '/') path.erase(0, 1);
  return path;
}

// Builds the reply the request gets, the scenario's changes included.
void BuildReply(Server& server, const Listener& listener, const Request& request,
                const Scenario& scenario, const Action& action, Reply* reply, Json::Value* line) {
  if (!action.redirect.empty()) {
    reply->status = action.redirect_status;
    reply->SetHeader("Location", action.redirect);
  } else {
    const Route route = action.serve.empty() ? RouteOf(request, listener) : Route::kFiles;
    if (route == Route::kFiles) {
      const std::string path =
          action.serve.empty() ? request.path : "/" + EncodeUrlPath(StripSlashes(action.serve));
      ServeFile(request, path, server.root, action, reply);
    } else {
      ApiContext context;
      context.endpoints = &server.endpoints;
      context.listeners = &server.listeners;
      context.root = server.root;
      context.package = &server.package;
      context.gif = server.gif;
      AnswerBackend(route, request, listener, scenario, context, reply, line);
      if (action.has_filename) {
        reply->SetHeader("Content-Disposition", "attachment; filename=\"" + action.filename + "\"");
      }
    }
  }
  if (action.status != 0) reply->status = action.status;
  if (!action.reason.empty()) reply->reason = action.reason;
  if (action.has_body) {
    reply->SetText(reply->status, action.body, action.content_type);
  } else if (action.status >= 300 && !action.keep_body) {
    reply->body.clear();
  }
  if (!action.content_type.empty() && !action.has_body) {
    reply->SetHeader("Content-Type", action.content_type);
  }
  reply->chunked = action.chunked;
  reply->chunk_size = action.chunk_size;
  reply->head_only = request.method == "HEAD";
  reply->SetFramingHeaders();
  for (const auto& header : action.headers) {
    if (header.second.isNull()) {
      reply->RemoveHeader(header.first);
    } else {
      reply->SetHeader(header.first, header.second.asString());
    }
  }
}

int StatusOfRaw(const std::string& raw) {
  if (raw.compare(0, 5, "HTTP/") != 0) return 0;
  const size_t space = raw.find(' ');
  if (space == std::string::npos || raw.size() < space + 4) return 0;
  int status = 0;
  for (size_t i = space + 1; i < space + 4; ++i) {
    if (raw[i] < '0' || raw[i] > '9') return 0;
    status = status * 10 + (raw[i] - '0');
  }
  return status;
}

}  // namespace

void ServeConnection(Server& server, const Listener& listener, int fd, const std::string& peer) {
  const auto started = Clock::now();
  // Every send goes out at once: split heads and paced bodies arrive as written, and small
  // framing writes never wait for an acknowledgement. Large file bodies are unaffected.
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  SetTimeout(fd, SO_RCVTIMEO, kReceiveTimeoutSeconds);
  SetTimeout(fd, SO_SNDTIMEO, kSendTimeoutSeconds);

  Request request;
  int error_status = 0;
  std::string error;
  const int got = ReadRequest(fd, &request, &error_status, &error);
  if (got == 0) {
    server.lifetime.Unregister(fd);
    close(fd);
    return;
  }

  Json::Value line(Json::objectValue);
  line["time"] = UtcTimestamp();
  line["seq"] = Json::Int64(++server.sequence);
  line["listener"] = listener.Address();
  line["roles"] = Json::Value(Json::arrayValue);
  for (const std::string& role : listener.roles) line["roles"].append(role);
  line["peer"] = peer;
  line["method"] = request.method;
  line["path"] = request.target;
  line["headers"] = HeadersObject(request);
  line["head"] = request.head;
  const std::string* range = request.Find("Range");
  line["range"] = range != nullptr ? Json::Value(*range) : Json::Value();
  line["fault"] = Json::Value();

  Action action;
  SendOutcome outcome;
  int status = 0;
  bool reset = false;
  if (got < 0) {
    line["error"] = error;
    Reply reply;
    reply.SetText(error_status, error + "\n", "text/plain; charset=utf-8");
    reply.SetFramingHeaders();
    outcome = SendReply(fd, reply, action, server.lifetime);
    status = reply.status;
  } else {
    std::string scenario_error;
    const std::shared_ptr<const Scenario> scenario = server.scenario.Get(&scenario_error);
    if (!scenario_error.empty()) line["scenario_error"] = scenario_error;
    action = scenario->Match(request.method, request.path, request.query, listener.roles,
                             listener.Address());
    if (action.rule >= 0) {
      line["rule"] = action.rule;
      line["rule_request"] = Json::Int64(action.request_number);
      const std::string fault = action.Describe();
      if (!fault.empty()) line["fault"] = fault;
    }
    if (action.delay_ms > 0 && !server.lifetime.SleepFor(action.delay_ms)) {
      outcome.error = "stopping";
    } else if (action.close || action.reset) {
      reset = action.reset;
    } else if (action.stall) {
      Stall(fd, action.stall_ms, server.lifetime);
    } else if (action.has_raw) {
      outcome = SendRaw(fd, action.raw, action, server.lifetime);
      status = StatusOfRaw(action.raw);
    } else {
      Reply reply;
      BuildReply(server, listener, request, *scenario, action, &reply, &line);
      outcome = SendReply(fd, reply, action, server.lifetime);
      status = reply.status;
    }
  }

  line["status"] = status;
  line["bytes"] = Json::Int64(outcome.body_bytes);
  line["complete"] = outcome.complete;
  if (outcome.dropped) line["dropped"] = true;
  if (!outcome.error.empty() && !line.isMember("error")) line["error"] = outcome.error;
  line["duration_ms"] = Json::Int64(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
  server.log.Write(line);

  if (reset) {
    Reset(fd);
  } else if (!outcome.dropped) {
    CloseGracefully(fd, server.lifetime);
  }
  server.lifetime.Unregister(fd);
  close(fd);
}
