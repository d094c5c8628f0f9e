// The event logger: every telemetry call of the program goes through the one instance that
// GetLogger() returns. Without a working telemetry library every operation quietly does nothing
// and answers false or "". Texts are UTF-8.
//
// Threads: any. Each record is written under the logger's lock from create to free. Property
// sets are per thread: ClearProperties, Add*Property and SendEvent act on the calling thread's
// own set, so events built at the same time on two threads never mix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ILoggerServer {
 public:
  // Click-stream record (kind 2): page code, element code, extra text.
  virtual bool TrackClick(const std::string& page, const std::string& element,
                          const std::string& extra) = 0;
  // Lifecycle report (kind 4) with attached files (8-bit paths; missing files are skipped).
  virtual bool TrackReport(int32_t value, const std::string& text1, const std::string& text2,
                           const std::string& text3, const std::string& text4,
                           std::vector<std::string> files) = 0;
  // Named event (kind 6) carrying this thread's properties.
  virtual bool SendEvent(const std::string& name) = 0;
  virtual void ClearProperties() = 0;
  // The first value set for a key after ClearProperties wins.
  virtual void AddIntProperty(const char* key, int32_t value) = 0;
  virtual void AddBoolProperty(const char* key, bool value) = 0;
  virtual void AddStringProperty(const char* key, const char* value) = 0;
  // Launch record (kind 1).
  virtual bool TrackLaunch(int32_t value, const std::string& text1, const std::string& text2,
                           const std::string& text3) = 0;
  virtual std::string BuildHttpData(int32_t kind, const std::string& bytes) = 0;
  virtual std::string DecryptData(const std::string& bytes) = 0;
  // The library's machine id; "" when unknown.
  virtual std::string GetMid() = 0;
  virtual std::string GetMidEx(int32_t kind) = 0;
  // Starts a stopped library again; always false.
  virtual bool Restart() = 0;
  // Ends sending (the user declined the user-experience plan); always true.
  virtual bool Stop() = 0;
  virtual bool OpenUrl(const char* url) = 0;
  virtual int Reserved(const char* a, const char* b, int x, int y, int z) = 0;

 protected:
  virtual ~ILoggerServer() = default;
};

// The one logger, made on first use (the first call comes from the main thread at start).
ILoggerServer* GetLogger();
