// The installed product (found through its uninstall entry) and the product version of any
// executable. No lock: Refresh runs on the main thread only; GetFileVersion touches no member
// and may be called from any thread.
#pragma once

#include <string>

class IAppInfo {
 public:
  // Reads the uninstall entry again; false when an error cut it short.
  virtual bool Refresh() = 0;
  // The product's executable; empty when not installed or the file is gone.
  virtual const std::wstring& GetProductPath() = 0;
  // Its "ProductVersion"; empty without a path or a version resource.
  virtual const std::wstring& GetProductVersion() = 0;
  // "ProductVersion" of the file's first translation; an empty path means this executable.
  // Empty when the file has no version resource.
  virtual std::wstring GetFileVersion(const std::wstring& path) = 0;

 protected:
  virtual ~IAppInfo() = default;
};

class CAppInfo : public IAppInfo {
 public:
  bool Refresh() override;
  const std::wstring& GetProductPath() override { return product_path_; }
  const std::wstring& GetProductVersion() override { return product_version_; }
  std::wstring GetFileVersion(const std::wstring& path) override;

 private:
  std::wstring product_path_;
  std::wstring product_version_;
};

// The one object, made (and refreshed) on first use; null if that failed.
IAppInfo* GetAppInfo();
