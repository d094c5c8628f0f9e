#include "app/install_record.h"

#include <memory>

#include "app/product.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/windows_api.h"

namespace {
constexpr wchar_t kSection[] = L"General";
}

CInstallRecord::CInstallRecord()
    : ini_path_(GetCacheFolder() + kProductFolderName + kInstallRecordName) {
  if (FileExists(ini_path_)) {
    // The members start as recorded, so a record that no longer matches its file is blanked.
    md5_ = Read(L"md5");
    path_ = Read(L"path");
    VerifyDownload(std::wstring(md5_), std::wstring(path_), true);
  } else {
    Write(L"md5", L"");
    Write(L"path", L"");
  }
}

std::wstring CInstallRecord::Read(const wchar_t* key) const {
  wchar_t buffer[1024] = {};
  ::GetPrivateProfileStringW(kSection, key, L"", buffer, 1023, ini_path_.c_str());
  return buffer;
}

void CInstallRecord::Write(const wchar_t* key, const std::wstring& value) const {
  ::WritePrivateProfileStringW(kSection, key, value.c_str(), ini_path_.c_str());
}

bool CInstallRecord::VerifyDownload(const std::wstring& md5, const std::wstring& path,
                                    bool keepFile) {
  if (md5.empty() || path.empty()) return false;
  try {
    const std::wstring digest = AnsiToWide(Md5HexOfFile(path));
    if (!digest.empty() && digest == md5) {
      if (md5_ != md5 || path_ != path) {
        md5_ = md5;
        path_ = path;
        if (!keepFile) {
          Write(L"md5", md5_);
          Write(L"path", path_);
        }
      }
      return true;
    }
    if (!md5_.empty() || !path_.empty()) {
      Write(L"md5", L"");
      Write(L"path", L"");
    }
    md5_.clear();
    path_.clear();
    return false;
  } catch (...) {
    return false;
  }
}

void CInstallRecord::SetIfGiven(std::wstring* member, const wchar_t* key,
                                const std::wstring& value) {
  if (value.empty()) return;
  *member = value;
  Write(key, value);
}

void CInstallRecord::SetBeginTimestamp(const std::wstring& v) {
  SetIfGiven(&begin_timestamp_, L"begin_timestamp", v);
}
void CInstallRecord::SetLaunchAppName(const std::wstring& v) {
  SetIfGiven(&launch_appname_, L"launch_appname", v);
}
void CInstallRecord::SetSemFlag(bool fromServer) {
  sem_flag_ = fromServer ? L"1" : L"0";
  Write(L"is_sem", sem_flag_);
}
void CInstallRecord::SetAppId(const std::wstring& v) { SetIfGiven(&app_id_, L"app_id", v); }
void CInstallRecord::SetChannelId(const std::wstring& v) {
  SetIfGiven(&channel_id_, L"channel_id", v);
}
void CInstallRecord::SetMid(const std::wstring& v) { SetIfGiven(&mid_, L"mid", v); }
void CInstallRecord::SetInstall() {
  install_ = L"1";
  Write(L"install", install_);
}
void CInstallRecord::SetWelcomeUrl(const std::wstring& v) {
  SetIfGiven(&welcome_url_, L"welcome_url", v);
}
void CInstallRecord::SetEndTimestamp(const std::wstring& v) {
  SetIfGiven(&end_timestamp_, L"end_timestamp", v);
}
void CInstallRecord::SetCam(const std::wstring& v) { SetIfGiven(&cam_, L"cam", v); }
void CInstallRecord::SetSessionId(const std::wstring& v) {
  SetIfGiven(&session_id_, L"session_id", v);
}
void CInstallRecord::SetAppVersion(const std::wstring& v) {
  SetIfGiven(&app_version_, L"app_version", v);
}
void CInstallRecord::SetAdvertisingAccount(const std::wstring& v) {
  SetIfGiven(&advertising_account_, L"advertising_account_name", v);
}

CInstallRecord* GetInstallRecord() {
  static const std::unique_ptr<CInstallRecord> record = []() -> std::unique_ptr<CInstallRecord> {
    try {
      return std::make_unique<CInstallRecord>();
    } catch (...) {
      return nullptr;
    }
  }();
  return record.get();
}
