#include "info/pkg_info.h"

#include <stdexcept>
#include <string>

#include "endpoints.h"
#include "info/app_info.h"
#include "info/info_replies.h"
#include "info/backend_request.h"
#include "platform/encoding.h"
#include "platform/mutex.h"
#include "platform/system_queries.h"
#include "platform/thread.h"

namespace {

// What the reading thread fills; shared with it so that a thread still finishing a network
// call at exit never writes into freed memory.
struct PkgState {
  std::atomic<int32_t> state{0};
  std::atomic<int64_t> package_size{kDefaultPackageSize};
  std::atomic<int64_t> installation_size{kDefaultInstallationSize};
  CXMutex lock;
  std::string version_code;
  std::string md5;
  std::vector<DownloadUrlEntry> urls;
};

struct Backend {
  std::string api_host;
  std::string fallback_ip;
  uint16_t port;
};

std::string RequestPath() {
  std::string version;
  if (IAppInfo* appInfo = GetAppInfo()) version = WideToUtf8(appInfo->GetFileVersion(L""));
  if (version.empty()) version = "0.9.0.1";
  return std::string("/applicationService/installer/getAppVersion?appId=") + "51730946" +
         "&versionCode=" + version + "&packageSystemSupport=" + (Is64BitWindows() ? "2" : "1");
}

class CReadPkgInfoThread : public CVelmorBasedThread {
 public:
  CReadPkgInfoThread(std::shared_ptr<PkgState> state, Backend backend)
      : state_(std::move(state)), backend_(std::move(backend)) {}

  // A short wait, then the thread is left to end on its own: it is never killed, so it cannot
  // leave a lock abandoned, and exit never waits for a hung connection.
  void Stop() { StopOrAbandon(200); }

  uint32_t Run() override {
    try {
      const std::string path = RequestPath();
      std::string reply;
      for (int attempt = 0;; ++attempt) {
        if (IsStopRequested()) throw std::runtime_error("user cancel");
        if (!reply.empty()) {
          Store(ParsePackageReply(reply));
          return 0;
        }
        if (attempt != 0 && WaitForStop(300)) throw std::runtime_error("user cancel");
        reply = FetchFromBackend(backend_.api_host, backend_.port, path);
        if (IsStopRequested()) throw std::runtime_error("user cancel");
        if (reply.empty()) reply = FetchFromBackend(backend_.fallback_ip, backend_.port, path);
      }
    } catch (...) {
      state_->state = 2;
      return 1;
    }
  }

 private:
  void Store(PackageData package) {
    {
      CXMutexLock hold(state_->lock);
      state_->version_code = std::move(package.version_code);
      state_->md5 = std::move(package.md5);
      state_->urls = std::move(package.urls);
      state_->package_size = package.package_size;
      state_->installation_size = package.installation_size;
    }
    state_->state = 1;
  }

  std::shared_ptr<PkgState> state_;
  Backend backend_;
};

class CPkgInfo : public IPkgInfo {
 public:
  explicit CPkgInfo(Backend backend)
      : state_(std::make_shared<PkgState>()),
        thread_(StartKeptAlive<CReadPkgInfoThread>(state_, std::move(backend))) {}
  ~CPkgInfo() override { thread_->Stop(); }

  int32_t GetState() override { return state_->state; }
  int64_t GetPackageSize() override { return state_->package_size; }
  int64_t GetInstallationSize() override { return state_->installation_size; }
  const char* GetVersionCode() override {
    CXMutexLock hold(state_->lock);
    return state_->version_code.empty() ? nullptr : state_->version_code.c_str();
  }
  int32_t GetUrlCount() override {
    CXMutexLock hold(state_->lock);
    return static_cast<int32_t>(state_->urls.size());
  }
  const char* GetUrl(int32_t index) override {
    CXMutexLock hold(state_->lock);
    if (index < 0 || static_cast<size_t>(index) >= state_->urls.size()) return nullptr;
    return state_->urls[static_cast<size_t>(index)].url.c_str();
  }
  const char* GetMd5() override {
    CXMutexLock hold(state_->lock);
    return state_->md5.empty() ? nullptr : state_->md5.c_str();
  }
  void Reset() override {
    CXMutexLock hold(state_->lock);
    state_->version_code.clear();
    state_->md5.clear();
    state_->urls.clear();
    state_->package_size = 0;
    state_->installation_size = 0;
  }

 private:
  std::shared_ptr<PkgState> state_;
  std::shared_ptr<CReadPkgInfoThread> thread_;
};

}  // namespace

IPkgInfo* GetPkgInfo() {
  static const std::unique_ptr<CPkgInfo> info = []() -> std::unique_ptr<CPkgInfo> {
    try {
      return std::make_unique<CPkgInfo>(
          Backend{endpoints::kApiHost, endpoints::kFallbackIp, endpoints::kApiPort});
    } catch (...) {
      return nullptr;
    }
  }();
  return info.get();
}

std::shared_ptr<IPkgInfo> MakePkgInfoForTest(const char* apiHost, const char* fallbackIp,
                                            uint16_t port) {
  auto made = std::make_shared<CPkgInfo>(Backend{apiHost, fallbackIp, port});
  return std::shared_ptr<IPkgInfo>(made, made.get());
}
