#include "info/server_info.h"

#include <atomic>
#include <stdexcept>
#include <string>

#include "app/shared_settings.h"
#include "endpoints.h"
#include "info/info_replies.h"
#include "info/backend_request.h"
#include "platform/mutex.h"
#include "platform/thread.h"

namespace {

// Filled by the reading thread and shared with it (see the package reader).
struct ServerState {
  std::atomic<int32_t> state{0};
  CXMutex lock;
  WelcomeData data;
};

class CReadServerInfoThread : public CVelmorBasedThread {
 public:
  CReadServerInfoThread(std::shared_ptr<ServerState> state, std::string host, uint16_t port)
      : state_(std::move(state)), host_(std::move(host)), port_(port) {}

  void Stop() { StopOrAbandon(200); }

  uint32_t Run() override {
    const std::string channel = GetChannelId();
    if (channel.empty()) {
      state_->state = 1;
      return 0;
    }
    try {
      const std::string path = "/applicationService/channel/welcome?channel=" + channel;
      std::string reply;
      for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0 && WaitForStop(300)) throw std::runtime_error("user cancel");
        if (IsStopRequested()) throw std::runtime_error("user cancel");
        reply = FetchFromBackend(host_, port_, path);
        if (!reply.empty()) break;
        if (IsStopRequested()) throw std::runtime_error("user cancel");
      }
      WelcomeData data = ParseWelcomeReply(reply);
      {
        CXMutexLock hold(state_->lock);
        state_->data = std::move(data);
      }
      state_->state = 1;
      return 0;
    } catch (...) {
      state_->state = 2;
      return 1;
    }
  }

 private:
  std::shared_ptr<ServerState> state_;
  std::string host_;
  uint16_t port_;
};

class CServerInfo : public IServerInfo {
 public:
  CServerInfo(std::string host, uint16_t port)
      : state_(std::make_shared<ServerState>()),
        thread_(StartKeptAlive<CReadServerInfoThread>(state_, std::move(host), port)) {}
  ~CServerInfo() override { thread_->Stop(); }

  int32_t GetState() override { return state_->state; }
  const char* GetWelcomeUrl() override { return state_->data.welcome_url.c_str(); }
  const char* GetAdvertisingAccount() override { return state_->data.advertising_account.c_str(); }
  bool IsTolmirOcpc() override { return state_->data.tolmir_ocpc; }
  const char* GetAppId() override { return state_->data.app_id.c_str(); }
  const char* GetAppName() override { return state_->data.app_name.c_str(); }
  void ClearWelcomeUrl() override { state_->data.welcome_url.clear(); }

 private:
  std::shared_ptr<ServerState> state_;
  std::shared_ptr<CReadServerInfoThread> thread_;
};

}  // namespace

IServerInfo* GetServerInfo() {
  static const std::unique_ptr<CServerInfo> info = []() -> std::unique_ptr<CServerInfo> {
    try {
      return std::make_unique<CServerInfo>(endpoints::kApiHost, endpoints::kApiPort);
    } catch (...) {
      return nullptr;
    }
  }();
  return info.get();
}

std::shared_ptr<IServerInfo> MakeServerInfoForTest(const char* apiHost, uint16_t port) {
  auto made = std::make_shared<CServerInfo>(apiHost, port);
  return std::shared_ptr<IServerInfo>(made, made.get());
}
