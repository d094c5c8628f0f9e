// The package this installer is to fetch (download URL, MD5, version, sizes), read once from
// the backend by a background thread that retries until a reply arrives. Readers poll
// GetState(): 0 pending, 1 ready, 2 failed. The sizes have defaults so that disk-space rules
// work before and without a reply.
#pragma once

#include <cstdint>
#include <memory>

class IPkgInfo {
 public:
  virtual int32_t GetState() = 0;
  virtual int64_t GetPackageSize() = 0;
  virtual int64_t GetInstallationSize() = 0;
  // Null when empty. Texts stay valid until Reset (the reader stores once).
  virtual const char* GetVersionCode() = 0;
  virtual int32_t GetUrlCount() = 0;
  virtual const char* GetUrl(int32_t index) = 0;  // null when out of range
  virtual const char* GetMd5() = 0;
  virtual void Reset() = 0;

 protected:
  virtual ~IPkgInfo() = default;
};

// The one object; made on first use, which starts its reading thread. Null if that failed.
IPkgInfo* GetPkgInfo();

// For tests: a separate object with its own reading thread, asking host:port (and the fallback
// address on the same port) instead of the profile's backend.
std::shared_ptr<IPkgInfo> MakePkgInfoForTest(const char* apiHost, const char* fallbackIp,
                                            uint16_t port);
