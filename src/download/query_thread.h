// Finds the setup program's final URL (after redirects), size and file name on a background
// thread, from the package information's URLs or the default URL, and hands the result to its
// sink. The sink always receives a result, complete or not.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "download/download_info.h"
#include "download/download_rules.h"
#include "platform/thread.h"

class IDownloadInfoSink {
 public:
  // Called once, on the query thread.
  virtual void OnInfoReady(const DownloadInfo& info) = 0;

 protected:
  virtual ~IDownloadInfoSink() = default;
};

// "https://<CDN host>/application/soft_package/pc/51730946/software/32bit/install.exe" (the
// scheme is not interpreted: plain HTTP).
std::string DefaultDownloadUrl();

class QueryUrlInfoThread : public CVelmorBasedThread {
 public:
  // Starts the query and returns once it is running. An empty url asks the package information.
  QueryUrlInfoThread(const std::string& url, IDownloadInfoSink* sink);
  // Stops the query (at its next check, or when its current request returns) and waits.
  ~QueryUrlInfoThread() override;

  bool IsFinished() const { return finished_; }
  // The URL asked for, else the first URL found, else the default URL.
  std::string GetFinalUrl();

  uint32_t Run() override;

 private:
  bool QueryFromPackageInfo();
  void CheckNetwork();
  bool QueryFileInfo(const std::string& version, const std::string& url);
  // Returns the final reply's header lines ("" lines = none); url becomes the final URL.
  std::vector<std::string> FollowHead(std::string* url, int hops);
  void ThrowIfStopped();

  IDownloadInfoSink* sink_;
  std::mutex mutex_;  // url_ and the result's URL list, read by GetFinalUrl from other threads
  std::string url_;
  DownloadInfo result_;
  std::atomic<bool> started_{false};
  std::atomic<bool> finished_{false};
  UrlParts origin_;  // the URL the latest QueryFileInfo started from
};
