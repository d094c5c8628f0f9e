#include "download/downloader.h"

#include <atomic>
#include <memory>
#include <vector>

#include "app/install_record.h"
#include "download/download_events.h"
#include "download/download_thread.h"
#include "download/query_thread.h"
#include "info/app_info.h"
#include "info/pkg_info.h"
#include "net/winsock.h"
#include "platform/encoding.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mutex.h"
#include "platform/text.h"
#include "telemetry/logger.h"

namespace {

struct RangeRecord {
  std::string url;
  std::unique_ptr<CDownloadThread> worker;
  std::atomic<int64_t> start{0};  // first byte not yet written
  int64_t end = 0;                // inclusive
  bool Complete() const { return start > end; }
};

std::wstring OwnExecutablePath() {
  wchar_t path[1024] = {};
  ::GetModuleFileNameW(nullptr, path, 1023);
  return path;
}

std::string OwnVersion() {
  IAppInfo* info = GetAppInfo();
  return info ? WideToUtf8(info->GetFileVersion(L"")) : std::string();
}

void SendDownloadResult(const wchar_t* status, int32_t seconds) {
  ILoggerServer* logger = GetLogger();
  if (!logger) return;
  logger->ClearProperties();
  logger->AddStringProperty("soft_download_status", WideToUtf8(status).c_str());
  logger->AddIntProperty("download_time", seconds);
  logger->SendEvent("pSoftDownloadResult");
}

class CDownloader : public IDownloader, public IDownloadInfoSink, public IRangeWriter {
 public:
  CDownloader() {
    WSADATA data;
    ::WSAStartup(0x0101, &data);
  }
  ~CDownloader() override {
    state_ = kDestroying;
    query_.reset();
    StopWorkers();
    {
      CXMutexLock hold(lock_);
      output_.reset();
    }
    ::WSACleanup();
  }

  bool Start() override {
    if (state_ == kRunning || state_ == kReady) return true;
    ILoggerServer* logger = GetLogger();
    if (logger) {
      logger->ClearProperties();
      logger->SendEvent("vSoftDownloadStart");
    }
    if (!ranges_.empty()) {
      const bool started = StartWorkers();
      if (started) state_ = kRunning;
      return started;
    }
    query_.reset();
    try {
      query_ = std::make_unique<QueryUrlInfoThread>(url_, this);
    } catch (...) {
      return false;
    }
    state_ = kRunning;
    return true;
  }

  bool Reserved1() override { return false; }
  bool Reserved2() override { return false; }
  bool Reserved3() override { return false; }

  int32_t GetProgress() override {
    const int64_t total = total_size_;
    if (total <= 0) return 0;
    return static_cast<int32_t>(downloaded_ * 100 / total);
  }

  int32_t Poll() override;
  void Release() override { delete this; }
  std::wstring GetFilePath() override {
    CXMutexLock hold(lock_);
    return file_path_;
  }
  std::string GetDownloadUrl() override {
    return query_ ? query_->GetFinalUrl() : DefaultDownloadUrl();
  }

  void OnInfoReady(const DownloadInfo& info) override;
  bool WriteBlock(uint32_t count, int32_t index, const char* buffer, int64_t offset) override;

 private:
  bool StartWorkers();
  void StopWorkers();
  bool VerifyFile();
  void ResetAfterMismatch();
  void RecordDownload();
  bool ReuseLocalFile();
  void UseRecordedFile();
  void CreateOutput();
  void SetFilePath(const std::wstring& path) {
    CXMutexLock hold(lock_);
    file_path_ = path;
  }

  std::atomic<int32_t> state_{kNew};
  std::string url_;  // always empty: the query asks the package information
  CXMutex lock_;
  std::wstring file_path_;
  std::atomic<int64_t> total_size_{0};
  std::atomic<int64_t> downloaded_{0};
  std::unique_ptr<CFileStream> output_;
  const int32_t worker_count_ = 2;
  const int32_t worker_timeout_ = 2000;
  const int32_t attempt_limit_ = 20;
  std::unique_ptr<QueryUrlInfoThread> query_;
  std::vector<std::unique_ptr<RangeRecord>> ranges_;
  std::atomic<bool> ranges_ready_{false};
};

void CDownloader::CreateOutput() {
  CXMutexLock hold(lock_);
  output_ = std::make_unique<CFileStream>(CreateFile(file_path_));
  output_->SetLength(total_size_);
}

void CDownloader::OnInfoReady(const DownloadInfo& info) {
  try {
    if (info.size <= 0 || info.urls.empty()) {
      SendDownloadError(kDownloadThreadError, L"参数错误");
      UseRecordedFile();
      return;
    }
    if (ReuseLocalFile()) return;
    total_size_ = info.size;
    if (GetFilePath().empty()) {
      std::wstring name = info.file_name;
      if (name.empty()) {
        const std::wstring own = OwnExecutablePath();
        name = own.substr(own.rfind(L'\\') + 1);
      }
      const std::wstring folder = GetCacheFolder() + L"LUMACUT\\";
      const std::wstring channelName = ChannelSetupName(OwnVersion());
      SetFilePath(folder + (channelName.empty() ? name : channelName));
    }
    CreateOutput();
    std::vector<std::unique_ptr<RangeRecord>> ranges;
    for (const ByteRange& r : SplitRanges(info.size, worker_count_)) {
      auto record = std::make_unique<RangeRecord>();
      record->url = info.urls.front();
      record->start = r.start;
      record->end = r.end;
      ranges.push_back(std::move(record));
    }
    ranges_ = std::move(ranges);
    ranges_ready_ = true;
    StartWorkers();
  } catch (...) {
  }
}

bool CDownloader::StartWorkers() {
  for (size_t i = 0; i < ranges_.size(); ++i) {
    RangeRecord& range = *ranges_[i];
    if (range.Complete()) continue;
    try {
      range.worker.reset();
      range.worker = std::make_unique<CDownloadThread>(range.url, worker_timeout_, attempt_limit_,
                                                       range.start, range.end, this,
                                                       static_cast<int32_t>(i));
    } catch (...) {
      SendDownloadError(kDownloadThreadError, L"创建线程出错");
      StopWorkers();
      return false;
    }
  }
  return true;
}

void CDownloader::StopWorkers() {
  for (auto& range : ranges_) range->worker.reset();
}

bool CDownloader::WriteBlock(uint32_t count, int32_t index, const char* buffer, int64_t offset) {
  CXMutexLock hold(lock_);
  if (!output_ || index < 0 || static_cast<size_t>(index) >= ranges_.size()) return false;
  if (output_->Seek(offset, 0) < 0) return false;
  if (output_->Write(buffer, count) < 1) return false;
  downloaded_ += count;
  ranges_[static_cast<size_t>(index)]->start += count;
  return true;
}

int32_t CDownloader::Poll() {
  if (state_ != kRunning) return state_;
  if (!query_) {
    StopWorkers();
    return state_ = kFailed;
  }
  if (!query_->IsFinished()) return kRunning;
  if (state_ != kRunning) return state_;  // the query's result made the file ready
  if (!ranges_ready_ || ranges_.empty()) {
    return state_ = kFailed;
  }
  bool anyRunning = false;
  for (auto& range : ranges_) {
    if (range->Complete()) continue;
    const bool ended =
        !range->worker || ::WaitForSingleObject(range->worker->thread_handle(), 1) != WAIT_TIMEOUT;
    // A worker that ended between the two looks may have completed its range just then: only
    // a range still incomplete after its worker ended is a failure.
    if (ended && !range->Complete()) {
      StopWorkers();
      return state_ = kFailed;
    }
    if (!ended) anyRunning = true;
  }
  if (anyRunning) return kRunning;
  {
    CXMutexLock hold(lock_);
    output_.reset();
  }
  if (!VerifyFile()) {
    ResetAfterMismatch();
    return state_;
  }
  StopWorkers();
  int32_t seconds = 0;
  try {
    CFileStream file(OpenFile(kReadShared, GetFilePath()));
    int64_t created = 0, accessed = 0, written = 0;
    if (file.GetTimes(&created, &accessed, &written) && written > created) {
      seconds = static_cast<int32_t>(written - created);
    }
  } catch (...) {
  }
  SendDownloadResult(L"下载成功", seconds);
  RecordDownload();
  return state_ = kReady;
}

bool CDownloader::VerifyFile() {
  const std::wstring path = GetFilePath();
  if (path.empty()) return false;
  IPkgInfo* info = GetPkgInfo();
  const char* expected = info ? info->GetMd5() : nullptr;
  if (!expected || !*expected) return true;
  return Md5HexOfFile(path) == expected;
}

void CDownloader::ResetAfterMismatch() {
  state_ = kFailed;
  try {
    CreateOutput();
  } catch (...) {
  }
  const int64_t chunk = total_size_ / worker_count_;
  for (size_t i = 0; i < ranges_.size(); ++i) {
    ranges_[i]->worker.reset();
    ranges_[i]->start = static_cast<int64_t>(i) * chunk;
  }
  downloaded_ = 0;
}

void CDownloader::RecordDownload() {
  IPkgInfo* info = GetPkgInfo();
  const char* expected = info ? info->GetMd5() : nullptr;
  const std::wstring path = GetFilePath();
  std::wstring md5 = expected && *expected ? AnsiToWide(expected) : AnsiToWide(Md5HexOfFile(path));
  CInstallRecord* record = GetInstallRecord();
  if (record && !md5.empty() && !path.empty()) record->VerifyDownload(md5, path, false);
}

bool CDownloader::ReuseLocalFile() {
  IPkgInfo* info = GetPkgInfo();
  const char* version = info ? info->GetVersionCode() : nullptr;
  CInstallRecord* record = GetInstallRecord();
  const std::wstring serverVersion = version ? AnsiToWide(version) : std::wstring();
  const std::wstring recorded = record ? record->path() : std::wstring();
  if (serverVersion.empty() || recorded.empty()) return false;
  IAppInfo* appInfo = GetAppInfo();
  if (!appInfo) return false;
  if (!VersionNotOlder(WideToUtf8(appInfo->GetFileVersion(recorded)), WideToUtf8(serverVersion))) {
    return false;
  }
  SetFilePath(recorded);
  state_ = kReady;
  SendDownloadResult(L"存在本地文件", -1);
  return true;
}

void CDownloader::UseRecordedFile() {
  CInstallRecord* record = GetInstallRecord();
  IAppInfo* appInfo = GetAppInfo();
  const std::wstring recorded = record ? record->path() : std::wstring();
  if (recorded.empty() || !appInfo) return;
  if (!appInfo->GetProductPath().empty() &&
      !VersionNotOlder(WideToUtf8(appInfo->GetFileVersion(recorded)),
                       WideToUtf8(appInfo->GetProductVersion()))) {
    return;
  }
  SetFilePath(recorded);
  state_ = kReady;
  SendDownloadResult(L"存在本地文件", -1);
}

}  // namespace

IDownloader* CreateDownloader() {
  try {
    return new CDownloader();
  } catch (...) {
    return nullptr;
  }
}
