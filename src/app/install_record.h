// The install record: "config.ini" (section "General") in the product folder under the cache
// folder, mirrored in memory. It tells the installed product how it was installed and lets a
// later run reuse a setup program that is still intact.
//
// Writes go through the profile API and are not checked: while the product folder does not
// exist (a machine's first run, before the entry point creates it) they have no effect.
// Threads: the main thread writes the start and finish keys, the downloader's thread calls
// VerifyDownload; their keys are disjoint and the profile API serialises the file.
#pragma once

#include <string>

class CInstallRecord {
 public:
  // Reads "md5" and "path" of an existing record and keeps them only while the file they name
  // still has that digest (the file is not rewritten then); without a record, writes both empty.
  CInstallRecord();

  // True when the file at path has exactly the digest md5 (lower-case hex). On a match the
  // members take both values and, unless keepFile, the keys are written; on a mismatch both
  // members and keys are blanked.
  bool VerifyDownload(const std::wstring& md5, const std::wstring& path, bool keepFile);

  void SetBeginTimestamp(const std::wstring& value);
  void SetLaunchAppName(const std::wstring& value);
  // "1" or "0".
  void SetSemFlag(bool fromServer);
  void SetAppId(const std::wstring& value);
  void SetChannelId(const std::wstring& value);
  void SetMid(const std::wstring& value);
  // Always "1".
  void SetInstall();
  void SetWelcomeUrl(const std::wstring& value);
  void SetEndTimestamp(const std::wstring& value);
  void SetCam(const std::wstring& value);
  void SetSessionId(const std::wstring& value);
  void SetAppVersion(const std::wstring& value);
  void SetAdvertisingAccount(const std::wstring& value);

  const std::wstring& md5() const { return md5_; }
  const std::wstring& path() const { return path_; }
  const std::wstring& launch_appname() const { return launch_appname_; }
  const std::wstring& ini_path() const { return ini_path_; }

 private:
  std::wstring Read(const wchar_t* key) const;
  void Write(const wchar_t* key, const std::wstring& value) const;
  // Stores a non-empty value in member and writes key; an empty value changes nothing.
  void SetIfGiven(std::wstring* member, const wchar_t* key, const std::wstring& value);

  std::wstring md5_;
  std::wstring path_;
  std::wstring launch_appname_;
  std::wstring ini_path_;
  std::wstring sem_flag_;
  std::wstring app_id_;
  std::wstring channel_id_;
  std::wstring mid_;
  std::wstring install_;
  std::wstring welcome_url_;
  std::wstring begin_timestamp_;
  std::wstring end_timestamp_;
  std::wstring cam_;
  std::wstring session_id_;
  std::wstring app_version_;
  std::wstring advertising_account_;
};

// The one record, made on first use; lives until process exit.
CInstallRecord* GetInstallRecord();
