#include "download/query_thread.h"

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "download/download_events.h"
#include "endpoints.h"
#include "info/app_info.h"
#include "info/pkg_info.h"
#include "net/http_reply.h"
#include "net/tcp_http.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr int kMaxRedirects = 10;

std::string Authority(const char* host, unsigned short port) {
  return port == endpoints::kHttpPort ? std::string(host) : std::string(host) + ":" + std::to_string(port);
}

// A TCP connection to host:port is possible (resolution and connect each tried twice).
bool TryConnect(const char* host, uint16_t port) {
  const hostent* entry = ::gethostbyname(host);
  if (!entry) entry = ::gethostbyname(host);
  if (!entry || !entry->h_addr_list || !entry->h_addr_list[0]) return false;
  UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
  if (!s.valid()) return false;
  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  std::memcpy(&target.sin_addr, entry->h_addr_list[0], 4);
  const auto* address = reinterpret_cast<const sockaddr*>(&target);
  return ::connect(s.get(), address, sizeof target) == 0 ||
         ::connect(s.get(), address, sizeof target) == 0;
}

std::wstring OwnFileName() {
  wchar_t path[1024] = {};
  ::GetModuleFileNameW(nullptr, path, 1023);
  return FileNameOf(path);
}

}  // namespace

std::string DefaultDownloadUrl() {
  return "https://" + Authority(endpoints::kCdnHost, endpoints::kCdnPort) +
         "/application/soft_package/pc/51730946/software/32bit/install.exe";
}

QueryUrlInfoThread::QueryUrlInfoThread(const std::string& url, IDownloadInfoSink* sink)
    : sink_(sink), url_(url) {
  if (!CreateSuspended()) throw std::runtime_error("create query thread failed");
  Launch();
  while (!started_ && IsRunning()) ::Sleep(5);
}

QueryUrlInfoThread::~QueryUrlInfoThread() { StopAndWait(); }

std::string QueryUrlInfoThread::GetFinalUrl() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (!url_.empty()) return url_;
  if (!result_.urls.empty()) return result_.urls.front();
  return DefaultDownloadUrl();
}

void QueryUrlInfoThread::ThrowIfStopped() {
  if (IsStopRequested()) throw std::runtime_error("user query stop thread");
}

uint32_t QueryUrlInfoThread::Run() {
  started_ = true;
  try {
    std::string url;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      url = url_;
    }
    bool found = false;
    if (!url.empty()) {
      found = QueryFileInfo("", url);
    } else if (QueryFromPackageInfo()) {
      found = true;
    } else {
      ThrowIfStopped();
      {
        std::lock_guard<std::mutex> hold(mutex_);
        url_ = DefaultDownloadUrl();
      }
      found = QueryFileInfo("", DefaultDownloadUrl());
    }
    if (!found) SendDownloadError(kQueryThreadError, L"获取包信息失败");
  } catch (...) {
  }
  DownloadInfo result;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    result = result_;
  }
  if (sink_) sink_->OnInfoReady(result);
  finished_ = true;
  return 0;
}

bool QueryUrlInfoThread::QueryFromPackageInfo() {
  IPkgInfo* info = GetPkgInfo();
  if (!info) return false;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const int32_t state = info->GetState();
    if (state == 1) break;
    if (state == 2) return false;
    ThrowIfStopped();
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(10000)) return false;
    CheckNetwork();
  }
  for (int32_t i = 0; i < info->GetUrlCount(); ++i) {
    ThrowIfStopped();
    const char* version = info->GetVersionCode();
    const char* url = info->GetUrl(i);
    QueryFileInfo(version ? version : "", url ? url : "");
  }
  std::lock_guard<std::mutex> hold(mutex_);
  return !result_.urls.empty();
}

void QueryUrlInfoThread::CheckNetwork() {
  const struct {
    const char* host;
    uint16_t port;
  } endpointsToTry[] = {{endpoints::kSupportHost, endpoints::kSupportPort},
                        {endpoints::kFallbackIp, endpoints::kApiPort}};
  for (const auto& e : endpointsToTry) {
    ThrowIfStopped();
    if (TryConnect(e.host, e.port)) return;
  }
  SendDownloadError(kQueryThreadError, L"网络失败");
  throw std::runtime_error("network connect error");
}

bool QueryUrlInfoThread::QueryFileInfo(const std::string& version, const std::string& url) {
  if (url.empty()) return false;
  if (!ParseUrl(url, &origin_)) {
    SendDownloadError(kQueryThreadError, L"初始化失败");
    throw std::runtime_error("init url failed");
  }
  std::string finalUrl = url;
  const std::vector<std::string> lines = FollowHead(&finalUrl, 0);
  if (lines.empty()) {
    SendDownloadError(kQueryThreadError, L"获取头信息失败");
    throw std::runtime_error("http get url header information error");
  }
  std::lock_guard<std::mutex> hold(mutex_);
  if (result_.file_name.empty()) {
    // The server names the file, but never its folder.
    const std::string given = SafeFileName(FileNameFromHeaders(lines));
    result_.file_name = given.empty() ? DerivedSetupName(OwnFileName(), AnsiToWide(version))
                                      : AnsiToWide(given);
  }
  if (result_.size <= 0) {
    result_.size = ContentLengthOf(lines);
    if (result_.size <= 0) {
      result_.file_name.clear();
      return false;
    }
  }
  result_.urls.push_back(finalUrl);
  return true;
}

std::vector<std::string> QueryUrlInfoThread::FollowHead(std::string* url, int hops) {
  UrlParts parts;
  if (!ParseUrl(*url, &parts)) {
    SendDownloadError(kQueryThreadError, L"初始化失败");
    throw std::runtime_error("init url failed");
  }
  HeadReply reply;
  for (int attempt = 1; attempt <= 10; ++attempt) {
    ThrowIfStopped();
    CTCPHttp http(parts.host, parts.port);  // a resolution failure ends the query
    http.SetReceiveTimeout(3000);
    http.SetSendTimeout(3000);
    try {
      reply = http.Head(parts.host, parts.path);
    } catch (...) {
      reply = HeadReply();
    }
    if (!reply.lines.empty()) break;
    if (attempt == 10) {
      SendDownloadError(kQueryThreadError, L"重试次数过多");
    } else {
      ::Sleep(100);
    }
  }
  if (reply.status.empty()) return {};
  const int64_t status = ParseInt64(reply.status);
  if (status < 300) return reply.lines;
  if (status >= 400) return {};
  const std::string target = RedirectTarget(reply.lines, origin_.host, origin_.port);
  if (target.empty()) return reply.lines;
  // A chain that does not end (or loops) is no answer.
  if (hops + 1 > kMaxRedirects) return {};
  *url = target;
  return FollowHead(url, hops + 1);
}
