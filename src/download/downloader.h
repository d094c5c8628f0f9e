// The setup program's download: reuse of an intact earlier download, or a query for the final
// URL and size followed by two ranged workers writing one file in place, then the MD5 check.
// The progress page polls it; it posts nothing and calls nothing in the page.
//
// Threads: Start/Release on the UI thread, Poll/GetProgress on the page's timer thread, the
// query thread calls back with its result and the workers write through WriteBlock.
#pragma once

#include <cstdint>
#include <string>

class IDownloader {
 public:
  enum State : int32_t { kNew = 0, kRunning = 1, kDestroying = 3, kReady = 4, kFailed = 5 };

  // True when the download is running or the setup program is ready.
  virtual bool Start() = 0;
  virtual bool Reserved1() = 0;
  virtual bool Reserved2() = 0;
  virtual bool Reserved3() = 0;
  // 0..100; 0 while the size is unknown.
  virtual int32_t GetProgress() = 0;
  // Advances and returns the state: 1 working, 4 ready, 5 failed, 3 after destruction began.
  virtual int32_t Poll() = 0;
  virtual void Release() = 0;
  // The setup program's full path; empty until known.
  virtual std::wstring GetFilePath() = 0;
  virtual std::string GetDownloadUrl() = 0;

 protected:
  virtual ~IDownloader() = default;
};

// Null when the downloader cannot be made.
IDownloader* CreateDownloader();
