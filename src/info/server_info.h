// The channel's welcome information (welcome URL, advertising account, attribution flag, app
// id and name), read once from the backend by a background thread: up to three attempts 300 ms
// apart. GetState(): 0 pending, 1 done (also for an empty channel or an unsuccessful reply),
// 2 failed.
#pragma once

#include <cstdint>
#include <memory>

class IServerInfo {
 public:
  virtual int32_t GetState() = 0;
  // Empty texts while unknown. Read only after the state has left 0.
  virtual const char* GetWelcomeUrl() = 0;
  virtual const char* GetAdvertisingAccount() = 0;
  virtual bool IsTolmirOcpc() = 0;
  virtual const char* GetAppId() = 0;
  virtual const char* GetAppName() = 0;
  virtual void ClearWelcomeUrl() = 0;

 protected:
  virtual ~IServerInfo() = default;
};

IServerInfo* GetServerInfo();

// For tests: a separate object asking host:port.
std::shared_ptr<IServerInfo> MakeServerInfoForTest(const char* apiHost, uint16_t port);
