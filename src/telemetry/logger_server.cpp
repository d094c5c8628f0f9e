#include "telemetry/logger_server.h"

#include <stdexcept>

#include "endpoints.h"
#include "kiv_api.h"
#include "platform/encoding.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "platform/zip_archive.h"
#include "telemetry/kiv_keys.h"

struct CLoggerServer::LibraryTable {
  KivHandle handle = nullptr;
  decltype(&kivCreate) create = nullptr;
  decltype(&kivSetApplyKey) set_apply_key = nullptr;
  decltype(&kivSetMidVersion) set_mid_version = nullptr;
  decltype(&kivSetAppInfo) set_app_info = nullptr;
  decltype(&kivSetPubCertificate) set_pub_certificate = nullptr;
  decltype(&kivSetPriCcertificate) set_pri_certificate = nullptr;
  decltype(&kivEnableSandbox) enable_sandbox = nullptr;
  decltype(&kivEnableCrashReport) enable_crash_report = nullptr;
  decltype(&kivFree) free = nullptr;
  decltype(&kivSetHostInfo) set_host_info = nullptr;
  decltype(&kivSetSensorUrl) set_sensor_url = nullptr;
  decltype(&kivSetNetProtocol) set_net_protocol = nullptr;
  decltype(&kivSetURLVersion) set_url_version = nullptr;
  decltype(&kivFlush) flush = nullptr;
};

struct CLoggerServer::RecordTable {
  decltype(&kivCLTCreate) create = nullptr;
  decltype(&kivCLTSensorWriteEvent) write_event = nullptr;
  decltype(&kivCLTSensorWriteIntProperties) write_int_property = nullptr;
  decltype(&kivCLTSensorWriteBoolProperties) write_bool_property = nullptr;
  decltype(&kivCLTSensorWriteStringProperties) write_string_property = nullptr;
  decltype(&kivCLTWriteInt) write_int = nullptr;
  decltype(&kivCLTWriteData) write_data = nullptr;
  decltype(&kivCLTCommit) commit = nullptr;
  decltype(&kivCLTFree) free = nullptr;
};

struct CLoggerServer::DataTable {
  decltype(&kivBuildHttpData) build_http_data = nullptr;
  decltype(&kivDecryptData) decrypt_data = nullptr;
  decltype(&kivDataFree) data_free = nullptr;
  decltype(&kivMid) mid = nullptr;
  decltype(&kivMidEx) mid_ex = nullptr;
  decltype(&kivOpenUrl) open_url = nullptr;
};

namespace {

int32_t g_event_counter = 0;

class ProcFinder {
 public:
  ProcFinder(const KivLoader& loader, HMODULE module) : loader_(loader), module_(module) {}
  // Fills slot; when required and missing, throws message.
  template <typename Fn>
  void operator()(Fn* slot, const char* name, const char* message = nullptr) const {
    *slot = reinterpret_cast<Fn>(loader_.Find(module_, name));
    if (!*slot && message) throw std::runtime_error(message);
  }

 private:
  const KivLoader& loader_;
  HMODULE module_;
};

void OnCrash(void* /*context*/, const wchar_t* dumpPath) {
  ILoggerServer* logger = GetLogger();
  if (!logger) return;
  logger->TrackReport(1, "0001", "0001", "", "", {WideToAnsi(dumpPath ? dumpPath : L"")});
  logger->TrackReport(4, "0001", "0002", "", "", {});
  logger->ClearProperties();
  logger->SendEvent("vSoftDump");
  logger->ClearProperties();
  logger->AddStringProperty("event_name", WideToUtf8(L"软件崩溃").c_str());
  logger->SendEvent("vSoftQuit");
}

void WriteData(decltype(&kivCLTWriteData) write, KivRecord record, int field,
               const std::string& text) {
  if (!text.empty()) write(record, field, text.data(), static_cast<int>(text.size()));
}

}  // namespace

CLoggerServer::CLoggerServer(HMODULE resourceModule, std::unique_ptr<KivLoader> loader)
    : loader_(loader ? std::move(loader) : std::make_unique<KivLoader>()) {
  try {
    Construct(resourceModule);
  } catch (const std::exception& e) {
    start_error_ = e.what();
  } catch (...) {
    start_error_ = "unknown error";
  }
}

CLoggerServer::~CLoggerServer() {
  // Records are sent in the background; give the last ones (the quit events) a short,
  // bounded chance to leave before the process ends. Spooled records survive in any case.
  CXMutexLock hold(lock_);
  if (library_ && library_->handle && library_->flush) library_->flush(library_->handle, 2000);
}

void CLoggerServer::Construct(HMODULE resourceModule) {
  HMODULE module = resourceModule ? resourceModule : ::GetModuleHandleW(nullptr);
  if (!module) throw std::runtime_error("Get module handle failed");
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(105), L"BinarySystem");
  if (!resource) throw std::runtime_error("KIV not found resource");
  const DWORD size = ::SizeofResource(module, resource);
  if (size == 0) throw std::runtime_error("KIV resource is empty");
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) throw std::runtime_error("Load KIV resource failed");

  const std::wstring zipPath = GetScratchFolder() + L"Kiv.zip";
  {
    CFileStream zip(CreateFile(zipPath));
    zip.Write(bytes, size);
  }
  if (!FileExists(zipPath)) throw std::runtime_error("Save KIV resource failed");

  const std::wstring kivFolder = GetCacheFolder() + L"Kiv\\";
  if (!DirectoryExists(kivFolder) && !CreateDirectoryTree(kivFolder)) {
    throw std::runtime_error("Create KIV cache path failed");
  }
  UnpackZip(zipPath, kivFolder);

  library_path_ = kivFolder + L"Kiv.dll";
  HMODULE library = loader_->Load(library_path_);
  if (!library) throw std::runtime_error("Load KIV.dll failed");

  const ProcFinder find(*loader_, library);
  auto table = std::make_unique<LibraryTable>();
  find(&table->create, "kivCreate", "Get kivCreate address failed");
  find(&table->set_apply_key, "kivSetApplyKey", "Get kivSetAppKey address failed");
  find(&table->set_app_info, "kivSetAppInfo", "Get kivSetAppInfo address failed");
  find(&table->set_pub_certificate, "kivSetPubCertificate",
       "Get kivSetPubCertificate address failed");
  find(&table->set_pri_certificate, "kivSetPriCcertificate",
       "Get kivSetPriCcertificate address failed");
  find(&table->set_host_info, "kivSetHostInfo", "Get kivSetHostInfo address failed");
  find(&table->set_sensor_url, "kivSetSensorUrl", "Get kivSetSensorUrl failed");
  find(&table->set_mid_version, "kivSetMidVersion");
  find(&table->enable_sandbox, "kivEnableSandbox");
  find(&table->enable_crash_report, "kivEnableCrashReport");
  find(&table->free, "kivFree");
  find(&table->set_net_protocol, "kivSetNetProtocol");
  find(&table->set_url_version, "kivSetURLVersion");
  find(&table->flush, "kivFlush");
  StartLibrary(table.get());
  library_ = std::move(table);

  try {
    auto records = std::make_unique<RecordTable>();
    find(&records->create, "kivCLTCreate", "Get kivCLTCreate address error");
    find(&records->write_event, "kivCLTSensorWriteEvent", "Get kivCLTSensorWriteEvent address error");
    find(&records->write_int_property, "kivCLTSensorWriteIntProperties",
         "Get kivCLTSensorWriteIntProperties address error");
    find(&records->write_bool_property, "kivCLTSensorWriteBoolProperties",
         "Get kivCLTSensorWriteBoolProperties address error");
    find(&records->write_string_property, "kivCLTSensorWriteStringProperties",
         "Get kivCLTSensorWriteStringProperties address error");
    find(&records->write_int, "kivCLTWriteInt", "Get kivCLTWriteInt address error");
    find(&records->write_data, "kivCLTWriteData", "Get kivCLTWriteData address error");
    find(&records->commit, "kivCLTCommit", "Get kivCLTCommit address error");
    find(&records->free, "kivCLTFree", "Get kivCLTFree address error");
    records_ = std::move(records);
  } catch (const std::exception& e) {
    record_error_ = e.what();
  }

  try {
    auto data = std::make_unique<DataTable>();
    find(&data->build_http_data, "kivBuildHttpData");
    find(&data->decrypt_data, "kivDecryptData");
    find(&data->data_free, "kivDataFree");
    find(&data->mid, "kivMid");
    find(&data->mid_ex, "kivMidEx");
    find(&data->open_url, "kivOpenUrl");
    data_ = std::move(data);
  } catch (...) {
  }
}

void CLoggerServer::StartLibrary(LibraryTable* t) {
  if (t->create(&t->handle) != 0) throw std::runtime_error("create KIV handle failed");
  if (t->set_apply_key(kKivAppId, kKivAppKey) != 0) throw std::runtime_error("SetAppkey failed");
  if (t->set_app_info(kKivAppInfo, nullptr, nullptr) != 0) {
    throw std::runtime_error("SetAppInfo failed");
  }
  if (t->set_host_info(endpoints::kTelemetryHost, endpoints::kTelemetryPort) != 0) {
    throw std::runtime_error("SetHostInfo failed");
  }
  if (t->set_sensor_url(kKivSensorUrl) != 0) throw std::runtime_error("SetSensorUrl failed");
  if (t->set_mid_version) t->set_mid_version(1);
  t->set_pub_certificate(kKivPublicKey);
  t->set_pri_certificate(kKivPrivateKey);
  if (t->enable_crash_report) t->enable_crash_report(&OnCrash, t);
}

bool CLoggerServer::started() const { return library_ && library_->handle; }

template <typename Write>
bool CLoggerServer::SendRecord(int kind, Write write) {
  CXMutexLock hold(lock_);
  if (!records_ || !library_ || !library_->handle) return false;
  KivRecord record = nullptr;
  if (records_->create(library_->handle, kind, &record) != 0) return false;
  write(record);
  records_->commit(record);
  records_->free(record);
  return true;
}

bool CLoggerServer::TrackLaunch(int32_t value, const std::string& text1, const std::string& text2,
                                const std::string& text3) {
  return SendRecord(1, [&](KivRecord record) {
    records_->write_int(record, 1, value);
    WriteData(records_->write_data, record, 2, text1);
    WriteData(records_->write_data, record, 3, text2);
    WriteData(records_->write_data, record, 4, text3);
  });
}

bool CLoggerServer::TrackClick(const std::string& page, const std::string& element,
                               const std::string& extra) {
  return SendRecord(2, [&](KivRecord record) {
    WriteData(records_->write_data, record, 10, page);
    WriteData(records_->write_data, record, 11, element);
    WriteData(records_->write_data, record, 12, extra);
  });
}

bool CLoggerServer::TrackReport(int32_t value, const std::string& text1, const std::string& text2,
                                const std::string& text3, const std::string& text4,
                                std::vector<std::string> files) {
  return SendRecord(4, [&](KivRecord record) {
    records_->write_int(record, 50, value);
    WriteData(records_->write_data, record, 51, text1);
    WriteData(records_->write_data, record, 52, text2);
    WriteData(records_->write_data, record, 53, text3);
    WriteData(records_->write_data, record, 54, text4);
    for (const auto& file : files) {
      if (!file.empty() && FileExists(AnsiToWide(file))) {
        WriteData(records_->write_data, record, 55, file);
      }
    }
  });
}

CLoggerServer::PropertySet CLoggerServer::PropertiesOfThisThread() {
  CXMutexLock hold(properties_lock_);
  return properties_[::GetCurrentThreadId()];
}

bool CLoggerServer::SendEvent(const std::string& name) {
  const PropertySet properties = PropertiesOfThisThread();
  return SendRecord(6, [&](KivRecord record) {
    const int32_t id =
        static_cast<int32_t>((UnixTime() % 10000000) * 100 + (g_event_counter % 100));
    ++g_event_counter;
    records_->write_event(record, name.c_str(), id);
    for (const auto& [key, value] : properties.ints) {
      records_->write_int_property(record, key.c_str(), value);
    }
    for (const auto& [key, value] : properties.bools) {
      records_->write_bool_property(record, key.c_str(), value ? 1 : 0);
    }
    for (const auto& [key, value] : properties.strings) {
      records_->write_string_property(record, key.c_str(), value.c_str());
    }
  });
}

void CLoggerServer::ClearProperties() {
  CXMutexLock hold(properties_lock_);
  properties_.erase(::GetCurrentThreadId());
}

void CLoggerServer::AddIntProperty(const char* key, int32_t value) {
  if (!key) return;
  CXMutexLock hold(properties_lock_);
  properties_[::GetCurrentThreadId()].ints.emplace(key, value);
}

void CLoggerServer::AddBoolProperty(const char* key, bool value) {
  if (!key) return;
  CXMutexLock hold(properties_lock_);
  properties_[::GetCurrentThreadId()].bools.emplace(key, value);
}

void CLoggerServer::AddStringProperty(const char* key, const char* value) {
  if (!key || !value) return;
  CXMutexLock hold(properties_lock_);
  properties_[::GetCurrentThreadId()].strings.emplace(key, value);
}

std::string CLoggerServer::BuildHttpData(int32_t kind, const std::string& bytes) {
  CXMutexLock hold(lock_);
  if (!data_ || !data_->build_http_data) return std::string();
  int size = 0;
  char* out = data_->build_http_data(kind, bytes.data(), static_cast<int>(bytes.size()), &size,
                                     nullptr, "/v1.1");
  if (!out) return std::string();
  std::string result = size > 0 ? std::string(out, static_cast<size_t>(size)) : std::string();
  if (data_->data_free) data_->data_free(out);
  return result;
}

std::string CLoggerServer::DecryptData(const std::string& bytes) {
  CXMutexLock hold(lock_);
  if (!data_ || !data_->decrypt_data) return std::string();
  int size = 0;
  char* out = data_->decrypt_data(bytes.data(), static_cast<int>(bytes.size()), &size);
  if (!out) return std::string();
  std::string result = size > 0 ? std::string(out, static_cast<size_t>(size)) : std::string();
  if (data_->data_free) data_->data_free(out);
  return result;
}

std::string CLoggerServer::GetMid() {
  CXMutexLock hold(lock_);
  if (!data_ || !data_->mid) return std::string();
  const char* mid = data_->mid();
  return mid ? std::string(mid) : std::string();
}

std::string CLoggerServer::GetMidEx(int32_t kind) {
  CXMutexLock hold(lock_);
  if (!data_ || !data_->mid_ex) return std::string();
  const char* mid = data_->mid_ex(kind);
  return mid ? std::string(mid) : std::string();
}

bool CLoggerServer::Restart() {
  CXMutexLock hold(lock_);
  try {
    if (!library_) throw std::runtime_error("KIV not init");
    if (!library_->handle) StartLibrary(library_.get());
  } catch (...) {
  }
  return false;
}

bool CLoggerServer::Stop() {
  CXMutexLock hold(lock_);
  if (library_ && library_->handle && library_->free) {
    library_->free(library_->handle);
    library_->handle = nullptr;
  }
  return true;
}

bool CLoggerServer::OpenUrl(const char* url) {
  if (!data_ || !data_->open_url || !url || !*url) return false;
  data_->open_url(url);
  return true;
}

int CLoggerServer::Reserved(const char*, const char*, int, int, int) { return 0; }

ILoggerServer* GetLogger() {
  static const std::unique_ptr<CLoggerServer> logger = std::make_unique<CLoggerServer>();
  return logger.get();
}
