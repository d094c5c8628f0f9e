// Kiv: records are spooled to disk on commit and sent in batches by one background thread, so
// a caller never waits for the network and nothing committed is lost while the host is away.
#define KIV_BUILDING
#define _CRT_RAND_S
#include "kiv_api.h"

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "crash_report.h"
#include "http_post.h"
#include "record.h"
#include "spool.h"

namespace {

HMODULE g_module = nullptr;

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

// The folder Kiv.dll was loaded from (the installer's cache "Kiv\" folder), with a backslash.
std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(g_module, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.rfind(L'\\') + 1);
}

int64_t NowMs() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) |
                                             now.dwLowDateTime);
  return (ticks - 116444736000000000LL) / 10000;
}

// Settings given before kivCreate or between start steps; read by every later record.
struct Settings {
  std::mutex mutex;
  KivIdentity identity;
  std::string host;
  int port = 80;
  std::string sensor_url = "/sa?project=production";
  std::string public_key;
  std::string private_key;
};
Settings& settings() {
  static Settings* s = new Settings();  // never destroyed: threads may use it during exit
  return *s;
}

std::string LoadOrMakeMid() {
  const std::wstring path = OwnFolder() + L"mid";
  char text[40] = {};
  if (FILE* f = _wfopen(path.c_str(), L"rb")) {
    const size_t got = std::fread(text, 1, 32, f);
    std::fclose(f);
    if (got == 32) return std::string(text, 32);
  }
  unsigned char random[16];
  for (auto& b : random) {
    unsigned int v = 0;
    rand_s(&v);
    b = static_cast<unsigned char>(v);
  }
  std::string mid;
  static const char kHex[] = "0123456789abcdef";
  for (unsigned char b : random) {
    mid += kHex[b >> 4];
    mid += kHex[b & 15];
  }
  if (FILE* f = _wfopen(path.c_str(), L"wb")) {
    std::fwrite(mid.data(), 1, mid.size(), f);
    std::fclose(f);
  }
  return mid;
}

const std::string& Mid() {
  static const std::string* mid = new std::string(LoadOrMakeMid());
  return *mid;
}

// The library's working state from kivCreate to kivFree.
class Library {
 public:
  Library() : spool_(OwnFolder() + L"spool") { sender_ = std::thread([this] { SendLoop(); }); }

  void Commit(const std::string& line) {
    const bool spooled = spool_.Append(line);
    std::lock_guard<std::mutex> hold(mutex_);
    if (!spooled) unspooled_.push_back(line);
    wake_ = true;
    cv_.notify_all();
  }

  // True when everything committed so far was delivered within the wait.
  bool Flush(int milliseconds) {
    std::unique_lock<std::mutex> hold(mutex_);
    const uint64_t target = ++flush_requests_;
    wake_ = true;
    cv_.notify_all();
    const bool done = cv_.wait_for(hold, std::chrono::milliseconds(milliseconds),
                                   [&] { return flushes_done_ >= target || stopping_; });
    return done && last_pass_clean_;
  }

  // Flushes briefly and ends the sender; a sender stuck in the network is left behind.
  void Stop(int milliseconds) {
    Flush(milliseconds);
    {
      std::lock_guard<std::mutex> hold(mutex_);
      stopping_ = true;
      cv_.notify_all();
    }
    sender_.detach();
  }

 private:
  // One pass: every sealed segment in order, then lines the disk refused. Stops at the first
  // failure so that later records never overtake earlier ones. True when nothing is left.
  bool SendPass() {
    Settings& s = settings();
    std::wstring host, path;
    int port;
    {
      std::lock_guard<std::mutex> hold(s.mutex);
      host = Widen(s.host);
      path = Widen(s.sensor_url);
      port = s.port;
    }
    if (host.empty()) return false;
    for (const auto& segment : spool_.SealAndList()) {
      std::vector<std::string> lines;
      if (!Spool::ReadLines(segment, &lines)) return false;
      if (!lines.empty()) {
        const unsigned long status = HttpPostJson(host, port, path, BatchBody(lines));
        if (status < 200 || status > 299) return false;
      }
      ::DeleteFileW(segment.c_str());
    }
    std::deque<std::string> memory;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      memory.swap(unspooled_);
    }
    if (memory.empty()) return true;
    const unsigned long status =
        HttpPostJson(host, port, path, BatchBody({memory.begin(), memory.end()}));
    if (status >= 200 && status <= 299) return true;
    std::lock_guard<std::mutex> hold(mutex_);
    unspooled_.insert(unspooled_.begin(), memory.begin(), memory.end());
    return false;
  }

  void SendLoop() {
    int backoff_ms = 0;
    for (;;) {
      uint64_t requested;
      {
        std::unique_lock<std::mutex> hold(mutex_);
        // After a failure only a flush or the back-off's end starts the next pass; otherwise
        // every commit does.
        cv_.wait_for(hold, std::chrono::milliseconds(backoff_ms > 0 ? backoff_ms : 1000), [&] {
          return stopping_ || flush_requests_ > flushes_done_ || (wake_ && backoff_ms == 0);
        });
        if (stopping_) return;
        wake_ = false;
        requested = flush_requests_;
      }
      const bool clean = SendPass();
      backoff_ms = clean ? 0 : (backoff_ms == 0 ? 1000 : std::min(backoff_ms * 2, 30000));
      std::lock_guard<std::mutex> hold(mutex_);
      last_pass_clean_ = clean;
      flushes_done_ = requested;
      cv_.notify_all();
    }
  }

  Spool spool_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::string> unspooled_;
  bool wake_ = true;
  bool stopping_ = false;
  bool last_pass_clean_ = false;
  uint64_t flush_requests_ = 0;
  uint64_t flushes_done_ = 0;
  std::thread sender_;
};

struct RecordHandle {
  Library* library;
  KivRecordData data;
};

std::mutex g_library_mutex;
Library* g_library = nullptr;  // never deleted: a detached sender may still use it

char* CopyOut(const void* bytes, int size, int* outSize) {
  if (!bytes || size <= 0 || !outSize) return nullptr;
  char* out = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
  if (!out) return nullptr;
  std::memcpy(out, bytes, static_cast<size_t>(size));
  *outSize = size;
  return out;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = module;
    ::DisableThreadLibraryCalls(module);
  }
  return TRUE;
}

KIV_API int kivCreate(KivHandle* handle) {
  if (!handle) return 1;
  std::lock_guard<std::mutex> hold(g_library_mutex);
  if (!g_library) {
    try {
      g_library = new Library();
    } catch (...) {
      return 2;
    }
  }
  {
    std::lock_guard<std::mutex> s(settings().mutex);
    settings().identity.mid = Mid();
  }
  *handle = g_library;
  return 0;
}

KIV_API int kivSetApplyKey(const char* appId, const char* appKey) {
  if (!appId || !*appId || !appKey || !*appKey) return 1;
  std::lock_guard<std::mutex> hold(settings().mutex);
  settings().identity.app_id = appId;
  return 0;
}

KIV_API int kivSetAppInfo(const char* appInfo, const char*, const char*) {
  if (!appInfo) return 1;
  std::lock_guard<std::mutex> hold(settings().mutex);
  settings().identity.app_info = appInfo;
  return 0;
}

KIV_API int kivSetHostInfo(const char* host, int port) {
  if (!host || !*host || port <= 0 || port > 65535) return 1;
  std::lock_guard<std::mutex> hold(settings().mutex);
  settings().host = host;
  settings().port = port;
  return 0;
}

KIV_API int kivSetSensorUrl(const char* path) {
  if (!path || path[0] != '/') return 1;
  std::lock_guard<std::mutex> hold(settings().mutex);
  settings().sensor_url = path;
  return 0;
}

KIV_API int kivSetMidVersion(int) { return 0; }
KIV_API int kivEnableSandbox(int) { return 0; }
KIV_API int kivSetNetProtocol(int) { return 0; }
KIV_API int kivSetURLVersion(const char*) { return 0; }

KIV_API int kivSetPubCertificate(const char* base64Der) {
  if (!base64Der) return 1;
  std::lock_guard<std::mutex> hold(settings().mutex);
  settings().public_key = base64Der;
  return 0;
}

KIV_API int kivSetPriCcertificate(const char* base64Der) {
  if (!base64Der) return 1;
  std::lock_guard<std::mutex> hold(settings().mutex);
  settings().private_key = base64Der;
  return 0;
}

KIV_API int kivEnableCrashReport(KivCrashCallback callback, void* context) {
  if (!callback) return 1;
  InstallCrashReport(OwnFolder(), callback, context, [] {
    Library* library = nullptr;
    {
      std::lock_guard<std::mutex> hold(g_library_mutex);
      library = g_library;
    }
    if (library) library->Flush(2000);
  });
  return 0;
}

// The library pointer is taken under the lock and used after releasing it (libraries are never
// deleted), so a flush that waits does not hold up threads creating records.
Library* CurrentLibrary(KivHandle handle, bool detach) {
  std::lock_guard<std::mutex> hold(g_library_mutex);
  if (!handle || handle != g_library) return nullptr;
  Library* library = g_library;
  if (detach) g_library = nullptr;
  return library;
}

KIV_API int kivFree(KivHandle handle) {
  Library* library = CurrentLibrary(handle, true);
  if (!library) return 1;
  library->Stop(2000);
  return 0;
}

KIV_API int kivFlush(KivHandle handle, int milliseconds) {
  Library* library = CurrentLibrary(handle, false);
  if (!library) return 1;
  return library->Flush(milliseconds) ? 0 : 2;
}

KIV_API int kivCLTCreate(KivHandle handle, int kind, KivRecord* record) {
  if (!record) return 1;
  std::lock_guard<std::mutex> hold(g_library_mutex);
  if (!handle || handle != g_library) return 2;
  auto* made = new (std::nothrow) RecordHandle{g_library, {}};
  if (!made) return 3;
  made->data.kind = kind;
  *record = made;
  return 0;
}

KIV_API int kivCLTWriteInt(KivRecord record, int field, int32_t value) {
  if (!record) return 1;
  static_cast<RecordHandle*>(record)->data.ints.emplace_back(field, value);
  return 0;
}

KIV_API int kivCLTWriteData(KivRecord record, int field, const void* bytes, int size) {
  if (!record || (!bytes && size > 0) || size < 0) return 1;
  static_cast<RecordHandle*>(record)->data.data.emplace_back(
      field, std::string(static_cast<const char*>(bytes), static_cast<size_t>(size)));
  return 0;
}

KIV_API int kivCLTSensorWriteEvent(KivRecord record, const char* name, int32_t eventId) {
  if (!record || !name) return 1;
  auto& data = static_cast<RecordHandle*>(record)->data;
  data.has_event = true;
  data.event_name = name;
  data.event_id = eventId;
  return 0;
}

KIV_API int kivCLTSensorWriteIntProperties(KivRecord record, const char* key, int32_t value) {
  if (!record || !key) return 1;
  static_cast<RecordHandle*>(record)->data.int_properties.emplace_back(key, value);
  return 0;
}

KIV_API int kivCLTSensorWriteBoolProperties(KivRecord record, const char* key, int value) {
  if (!record || !key) return 1;
  static_cast<RecordHandle*>(record)->data.bool_properties.emplace_back(key, value != 0);
  return 0;
}

KIV_API int kivCLTSensorWriteStringProperties(KivRecord record, const char* key,
                                              const char* value) {
  if (!record || !key || !value) return 1;
  static_cast<RecordHandle*>(record)->data.string_properties.emplace_back(key, value);
  return 0;
}

KIV_API int kivCLTCommit(KivRecord record) {
  if (!record) return 1;
  auto* r = static_cast<RecordHandle*>(record);
  KivIdentity identity;
  {
    std::lock_guard<std::mutex> hold(settings().mutex);
    identity = settings().identity;
  }
  try {
    r->library->Commit(RecordToJsonLine(r->data, identity, NowMs()));
  } catch (...) {
    return 2;
  }
  return 0;
}

KIV_API int kivCLTFree(KivRecord record) {
  delete static_cast<RecordHandle*>(record);
  return 0;
}

KIV_API const char* kivMid() { return Mid().c_str(); }
KIV_API const char* kivMidEx(int) { return Mid().c_str(); }

// The program's HTTP payloads travel unchanged: this library applies no encryption.
KIV_API char* kivBuildHttpData(int, const void* bytes, int size, int* outSize, void*,
                               const char*) {
  return CopyOut(bytes, size, outSize);
}

KIV_API char* kivDecryptData(const void* bytes, int size, int* outSize) {
  return CopyOut(bytes, size, outSize);
}

KIV_API void kivDataFree(void* buffer) { std::free(buffer); }

KIV_API int kivOpenUrl(const char* url) {
  if (!url || !*url) return 1;
  const auto result = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(nullptr, L"open", Widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32 ? 0 : 2;
}
