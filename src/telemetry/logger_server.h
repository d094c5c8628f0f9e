// The concrete logger behind ILoggerServer, visible to the accessor and to tests.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/mutex.h"
#include "platform/windows_api.h"
#include "telemetry/logger.h"

// How the logger finds the library; tests replace it to hide entry points.
class KivLoader {
 public:
  virtual ~KivLoader() = default;
  virtual HMODULE Load(const std::wstring& path) const { return ::LoadLibraryW(path.c_str()); }
  virtual void* Find(HMODULE module, const char* name) const {
    return reinterpret_cast<void*>(::GetProcAddress(module, name));
  }
};

class CLoggerServer : public ILoggerServer {
 public:
  // Unpacks the telemetry archive (resource "BinarySystem" 105 of resourceModule, the running
  // executable when null) into the cache folder's "Kiv\" folder, loads and starts the library.
  // Never throws; a failed step is kept in start_error().
  explicit CLoggerServer(HMODULE resourceModule = nullptr,
                         std::unique_ptr<KivLoader> loader = nullptr);
  ~CLoggerServer() override;

  bool TrackClick(const std::string& page, const std::string& element,
                  const std::string& extra) override;
  bool TrackReport(int32_t value, const std::string& text1, const std::string& text2,
                   const std::string& text3, const std::string& text4,
                   std::vector<std::string> files) override;
  bool SendEvent(const std::string& name) override;
  void ClearProperties() override;
  void AddIntProperty(const char* key, int32_t value) override;
  void AddBoolProperty(const char* key, bool value) override;
  void AddStringProperty(const char* key, const char* value) override;
  bool TrackLaunch(int32_t value, const std::string& text1, const std::string& text2,
                   const std::string& text3) override;
  std::string BuildHttpData(int32_t kind, const std::string& bytes) override;
  std::string DecryptData(const std::string& bytes) override;
  std::string GetMid() override;
  std::string GetMidEx(int32_t kind) override;
  bool Restart() override;
  bool Stop() override;
  bool OpenUrl(const char* url) override;
  int Reserved(const char* a, const char* b, int x, int y, int z) override;

  // The text of the step that stopped the start ("" when it completed), and the error met while
  // resolving the record entry points.
  const std::string& start_error() const { return start_error_; }
  const std::string& record_error() const { return record_error_; }
  bool started() const;
  const std::wstring& library_path() const { return library_path_; }

  struct LibraryTable;
  struct RecordTable;
  struct DataTable;
  struct PropertySet {
    std::map<std::string, int32_t> ints;
    std::map<std::string, bool> bools;
    std::map<std::string, std::string> strings;
  };

 private:
  void Construct(HMODULE resourceModule);
  void StartLibrary(LibraryTable* table);
  // Runs write(record) between create and commit/free, under the lock.
  template <typename Write>
  bool SendRecord(int kind, Write write);
  PropertySet PropertiesOfThisThread();

  std::unique_ptr<KivLoader> loader_;
  std::wstring library_path_;
  CXMutex lock_;
  std::unique_ptr<LibraryTable> library_;
  std::unique_ptr<RecordTable> records_;
  std::unique_ptr<DataTable> data_;
  CXMutex properties_lock_;
  std::map<DWORD, PropertySet> properties_;  // by thread id
  std::string start_error_;
  std::string record_error_;
};
